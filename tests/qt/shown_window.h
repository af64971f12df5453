// A main window shown offscreen with the built brush archive, its first texture drawn and its
// message boxes recorded; the steps slider at 0 so every generation is quick.
#pragma once

#include <QTest>
#include <memory>
#include <string>

#include "app/PanelSurfaceQt.h"
#include "app/gen.h"
#include "engine/soft/SoftDevice.h"
#include "test_support.h"

namespace vorn::test {

class ShownWindow : public ::testing::Test {
protected:
    void SetUp() override {
        m_recorder = std::make_unique<MessageRecorder>();
        m_window = std::make_unique<TFOrlu>([] { return std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat"; },
                                            nullptr, sd::Direct3DFactory{}, *m_recorder);
        W().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return W().PanelSurface->PresentCount() > 0 && W().PanelControls->isEnabled(); }, 60000));
        W().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
        W().Track(gpSteps)->setValue(0); // the shortest walk
    }
    void TearDown() override { m_window.reset(); }

    TFOrlu& W() { return *m_window; }

    std::unique_ptr<MessageRecorder> m_recorder;
    std::unique_ptr<TFOrlu> m_window;
};

} // namespace vorn::test
