#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Ivra needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    # Toolchain
    build-essential cmake pkg-config clang-format
    # Qt 6
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins libgl-dev
    libxkbcommon-dev libxkbcommon-x11-dev libxcb-xkb-dev libxcb-xtest0-dev
    # Screen capture on X11, the Wayland portal and the single instance (D-Bus)
    libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-randr0-dev libxcb-ewmh-dev
    libxcb-composite0-dev libxcb-render0-dev libxcb-render-util0-dev libxcb-xinput-dev
    libdbus-1-dev
    # Capture sound
    libcanberra-dev sound-theme-freedesktop
    # Capture library: store and image codecs
    libsqlite3-dev libdeflate-dev libturbojpeg0-dev
    # OpenCV modules: blurs and scaling (imgproc), segmentation networks (dnn)
    libopencv-core-dev libopencv-imgproc-dev libopencv-dnn-dev
    # Converting the segmentation networks (scripts/fetch-models.sh; npm comes with the
    # machine's Node.js)
    python3-onnx python3-numpy python3-flatbuffers
    # Text recognition, and the word lists its script repair checks words against
    libtesseract-dev tesseract-ocr-eng tesseract-ocr-ukr wamerican wukrainian
    # Fonts the renderer and the recognition benchmark use
    fonts-dejavu-core fonts-noto-core fonts-liberation2 fonts-open-sans fonts-roboto
    fonts-paratype fonts-cantarell fonts-freefont-ttf fonts-hack fonts-noto-mono
    fonts-crosextra-carlito
    # Headless desktop for tests
    xvfb xauth x11-xserver-utils x11-utils x11-xkb-utils xdotool xclip openbox dbus dbus-x11
    trayer pulseaudio pulseaudio-utils
    # The desktop portal's frontend, for the Wayland shortcuts test
    xdg-desktop-portal
    # Screen recording: FFmpeg encoders and the QuickTime muxer, SIMD colour conversion,
    # XDamage, PulseAudio capture, noise suppression; ffmpeg/ffprobe for the benchmark's
    # reference and for reading recordings back
    libavcodec-dev libavformat-dev libavutil-dev libyuv-dev
    libxcb-damage0-dev libpulse-dev libwebrtc-audio-processing-dev ffmpeg
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
