// The executable and resources paths, and the library's error and assertion lines.
#include <Orv/Paths.h>

#include "message_capture.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <thread>
#include <vector>

// The diagnostics are internal to the library; this test builds its own copy of them.
#include "platform/diagnostics.cpp"

using namespace Vantrel::Orv;

TEST(Paths, WorkedOutOnceSilentlyAndAlikeFromSeveralThreads) {
    MessageCapture capture;
    std::vector<QString> executables(4), resources(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([i, &executables, &resources] {
            resources[i] = resourcesPath();
            executables[i] = executablePath();
        });
    }
    for (auto& thread : threads) thread.join();
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(executables[i], executable);
        EXPECT_EQ(resources[i], QFileInfo(executable).canonicalPath() + "/Resources");
    }
    EXPECT_EQ(capture.count(), 0);
}

TEST(Paths, ResourcesOverrideIsStoredAsGivenAndEmptyWithdrawsIt) {
    const QString workedOut = QFileInfo(executablePath()).canonicalPath() + "/Resources";
    // The first override comes before the resources path was ever worked out.
    for (const QString& path : {QStringLiteral("D:/assets"), QStringLiteral("rel/./dir/../x/")}) {
        setResourcesPath(path);
        EXPECT_EQ(resourcesPath(), path);
        setResourcesPath(QString());
        EXPECT_EQ(resourcesPath(), workedOut);
    }
}

TEST(Diagnostics, ErrorAndAssertionLinesNameTheReportingFileByItsBaseName) {
    MessageCapture capture;
    detail::reportError("/build/src/core/core.cpp", 42, QStringLiteral("Could not obtain it"));
    detail::reportError("graph.cpp", 7, QStringLiteral("100% bare"));
    EXPECT_EQ(capture.critical(),
              QStringList({"[core.cpp:42] Could not obtain it", "[graph.cpp:7] 100% bare"}));
    EXPECT_EQ(capture.count(), 2);
    capture.clear();

    // A failed soft assertion writes one line and goes on.
    int built = 0;
    auto message = [&built] { return QStringLiteral("odd %d #%1").arg(++built); };
    const int a = 7;
    EXPECT_TRUE(ORV_SOFT_ASSERT(a == 7, message()));
    EXPECT_EQ(built, 0);  // the message is built only for a failure
    const bool passed = ORV_SOFT_ASSERT(a % 2 == 0, message());
    const int line = __LINE__ - 1;
    EXPECT_FALSE(passed);
    EXPECT_EQ(capture.critical(),
              QStringList(QString::asprintf("[paths_diagnostics_test.cpp:%d] [ !! ] Assertion "
                                            "'a \\%% 2 == 0' failed: odd %%d #1",
                                            line)));
}
