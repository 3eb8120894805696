#include "xdg_autostart.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace olvex {
namespace {

// The entry starts the program that wrote it, whatever its path holds; a path that would
// break out of the Exec line writes nothing.
TEST(XdgAutostart, EntryStartsThisProgramAndGoesWhenSwitchedOff) {
    const QString path = QStringLiteral("/opt/my apps/ol$vex%1");
    XdgAutostart autostart(path);
    ASSERT_EQ(autostart.Set(true), 0);
    EXPECT_TRUE(autostart.IsOn());
    QFile file(XdgAutostart::EntryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=\"/opt/my apps/ol\\\\$vex%%1\"\n")))
        << text.toStdString();
    file.close();
    EXPECT_EQ(autostart.Set(false), 0);
    EXPECT_FALSE(QFileInfo::exists(XdgAutostart::EntryPath()));
    EXPECT_EQ(autostart.Set(false), 0);

    EXPECT_EQ(XdgAutostart(QStringLiteral("/bin/x\nHidden=true")).Set(true), -1);
    EXPECT_FALSE(autostart.IsOn());
    EXPECT_EQ(DesktopExecQuote(QStringLiteral("/a$b\"c%d")),
              QStringLiteral("\"/a\\\\$b\\\\\"c%%d\""));
}

} // namespace
} // namespace olvex
