#pragma once

#include <QPoint>
#include <QStringList>
#include <QTest>

#include "support/TestSupport.h"

namespace ivra::test {

// Real pointer and key input through the X server (XTEST), as a user's hand would give it.
inline void xdotool(const QStringList& arguments) {
    const ProcessResult result = runProcess(QStringLiteral("xdotool"), arguments, 10000);
    QVERIFY2(result.exitCode == 0, result.standardError.constData());
}

inline void movePointerTo(QPoint global) {
    xdotool(
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
}

inline void clickAt(QPoint global) {
    xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
             QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace ivra::test
