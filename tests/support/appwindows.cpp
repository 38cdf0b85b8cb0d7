#include "appwindows.h"

#include "outputcapture.h"

#include "platform/qpeapplication.h"

#include <QTest>

namespace AppWindows {

std::unique_ptr<AppWindow> open()
{
    std::unique_ptr<AppWindow> window;
    {
        OutputCapture quiet;
        window = std::make_unique<AppWindow>(nullptr, "AppWindow", Qt::WindowFlags());
    }
    static_cast<QPEApplication*>(qApp)->showMainWidget(window.get(), false);
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get())) {
        QTest::qFail("the main window never became active", __FILE__, __LINE__);
        return nullptr;
    }
    return window;
}

} // namespace AppWindows
