#pragma once

// Where the running Ivra answers on the session bus. The names are part of the user-facing
// interface (desktop shortcuts and scripts call them with `gdbus`): keep them stable.
namespace ivra::platform::instance {

inline constexpr char kServiceName[] = "org.vantrel.Ivra";
inline constexpr char kObjectPath[] = "/org/vantrel/Ivra";
inline constexpr char kInterface[] = "org.vantrel.Ivra";
// The request reached Ivra, which could not do it (a file that cannot be read).
inline constexpr char kRequestFailedError[] = "org.vantrel.Ivra.Error.RequestFailed";
// What a second `ivra` sends: its arguments and the folder it was started in.
inline constexpr char kHandleCommandLine[] = "HandleCommandLine";

} // namespace ivra::platform::instance
