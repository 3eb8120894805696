#include "list_column_store.h"

#include <QHeaderView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace olvex {
namespace {

class ListColumnStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.setColumnCount(3);
        for (int i = 0; i < 3; ++i)
            list.header()->resizeSection(i, 100 + i);
    }
    QString Path() const { return dir.filePath(QStringLiteral("olvex.INI")); }
    void Write(const QString& key, const QVariant& value) {
        QSettings(Path(), QSettings::IniFormat).setValue(key, value);
    }
    std::vector<int> Widths() const {
        std::vector<int> widths;
        for (int i = 0; i < list.header()->count(); ++i)
            widths.push_back(list.header()->sectionSize(i));
        return widths;
    }
    QTemporaryDir dir;
    QTreeWidget list;
};

TEST_F(ListColumnStoreTest, WidthsRoundTrip) {
    list.header()->resizeSection(1, 222);
    const ListColumnStore store(Path());
    store.SaveColumnWidths(list, QStringLiteral("PageList"));
    EXPECT_EQ(QSettings(Path(), QSettings::IniFormat).value("PageList/NumCols").toInt(), 3);

    QTreeWidget other;
    other.setColumnCount(3);
    store.RestoreColumnWidths(other, QStringLiteral("PageList"));
    EXPECT_EQ(other.header()->sectionSize(0), 100);
    EXPECT_EQ(other.header()->sectionSize(1), 222);
    EXPECT_EQ(other.header()->sectionSize(2), 102);
}

TEST_F(ListColumnStoreTest, MissingZeroOrNegativeCountLeavesColumnsAlone) {
    const ListColumnStore store(Path());
    store.RestoreColumnWidths(list, QStringLiteral("Nothing"));
    EXPECT_EQ(Widths(), (std::vector<int>{100, 101, 102}));
    for (int count : {0, -3}) {
        Write(QStringLiteral("UserList/NumCols"), count);
        Write(QStringLiteral("UserList/Col0"), 55);
        store.RestoreColumnWidths(list, QStringLiteral("UserList"));
        EXPECT_EQ(Widths(), (std::vector<int>{100, 101, 102})) << count;
    }
}

TEST_F(ListColumnStoreTest, StoredCountDecidesWhichColumnsChange) {
    Write(QStringLiteral("A/NumCols"), 2);
    Write(QStringLiteral("A/Col0"), 65536 + 70); // only the low 16 bits are a width
    // Col1 missing: read as 0
    const ListColumnStore store(Path());
    store.RestoreColumnWidths(list, QStringLiteral("A"));
    EXPECT_EQ(Widths()[0], 70);
    EXPECT_EQ(Widths()[1], list.header()->minimumSectionSize()); // Qt's floor for 0
    EXPECT_EQ(Widths()[2], 102);

    // More stored columns than the list has: the extra ones have no effect.
    Write(QStringLiteral("B/NumCols"), 2000000000);
    Write(QStringLiteral("B/Col2"), 77);
    store.RestoreColumnWidths(list, QStringLiteral("B"));
    EXPECT_EQ(Widths()[2], 77);
}

} // namespace
} // namespace olvex
