// Shared main of the widget tests: an offscreen QApplication and settings and
// data directories of their own, so no test touches the user's files.
#include <QApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8());
    qputenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8());
    // The program's own log lines would drown the test output; warnings stay.
    QLoggingCategory::setFilterRules(QStringLiteral("olvex.*.debug=false\nolvex.*.info=false"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
