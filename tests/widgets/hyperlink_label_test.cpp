#include "hyperlink_label.h"
#include "message_box.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>

namespace olvex {
namespace {

class HyperlinkLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        HyperlinkLabel::SetOpener([this](const QString& target) {
            opened.push_back(target);
            return nextResult;
        });
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
            messages.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override {
        HyperlinkLabel::SetOpener({});
        SetMessageBoxHook({});
    }
    QWidget parent;
    std::vector<QString> opened;
    std::vector<QString> messages;
    int nextResult = HyperlinkLabel::kOpenSucceeded;
};

TEST_F(HyperlinkLabelTest, TargetAndTextFillEachOther) {
    HyperlinkLabel textOnly(QStringLiteral("http://example.test/a"), &parent);
    textOnly.Attach();
    EXPECT_EQ(textOnly.Url(), QStringLiteral("http://example.test/a"));
    EXPECT_EQ(textOnly.toolTip(), textOnly.Url());
    EXPECT_TRUE(textOnly.font().underline());
    EXPECT_EQ(textOnly.cursor().shape(), Qt::PointingHandCursor);
    textOnly.Click();
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("http://example.test/a")});

    HyperlinkLabel targetOnly(&parent);
    targetOnly.SetUrl(QStringLiteral("license.txt"));
    targetOnly.Attach();
    EXPECT_EQ(targetOnly.text(), QStringLiteral("license.txt"));

    targetOnly.SetUrl(QStringLiteral("other.txt"));
    EXPECT_EQ(targetOnly.toolTip(), QStringLiteral("other.txt"));
    EXPECT_EQ(targetOnly.text(), QStringLiteral("license.txt"));
}

TEST_F(HyperlinkLabelTest, FitToTextKeepsTheEdgeItsAlignmentNames) {
    const auto fitted = [this](Qt::Alignment alignment) {
        auto* label = new HyperlinkLabel(QStringLiteral("short"), &parent);
        label->setAlignment(alignment);
        label->setGeometry(100, 50, 300, 40);
        label->Attach();
        return label->geometry();
    };
    const QRect left = fitted(Qt::AlignLeft | Qt::AlignTop);
    ASSERT_LT(left.width(), 300);
    EXPECT_EQ(left.left(), 100);
    EXPECT_EQ(left.top(), 50);

    const QRect right = fitted(Qt::AlignRight | Qt::AlignTop);
    EXPECT_EQ(right.x() + right.width(), 400);
    EXPECT_EQ(right.width(), left.width());

    const QRect centred = fitted(Qt::AlignCenter);
    EXPECT_LE(std::abs((centred.x() - 100) - (400 - (centred.x() + centred.width()))), 1);
    EXPECT_LE(std::abs((centred.y() - 50) - (90 - (centred.y() + centred.height()))), 1);

    // A font given after the fitting (a style sheet's, a larger desktop font) fits it again,
    // still underlined.
    auto* later = new HyperlinkLabel(QStringLiteral("http://example.test/"), &parent);
    later->Attach();
    QFont large = later->font();
    large.setUnderline(false);
    large.setPointSize(large.pointSize() * 2);
    later->setFont(large);
    EXPECT_GE(later->width(), later->fontMetrics().horizontalAdvance(later->text()));
    EXPECT_GE(later->height(), later->fontMetrics().height());
    EXPECT_TRUE(later->font().underline());
}

TEST_F(HyperlinkLabelTest, ColoursFollowHoverAndTheLastOpen) {
    HyperlinkLabel label(QStringLiteral("target"), &parent);
    label.Attach();
    const QColor link(0, 0, 238);
    const QColor visited(85, 26, 139);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), link);

    label.Click();
    EXPECT_TRUE(label.IsVisited());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), visited);
    EXPECT_TRUE(messages.empty());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&label, &enter);
    EXPECT_TRUE(label.IsHovering());
    EXPECT_EQ(label.ShownColour(), label.palette().color(QPalette::WindowText));
    EXPECT_NE(label.CurrentColour(), visited);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    EXPECT_FALSE(label.IsHovering());

    // A failed open after a successful one returns to the link colour and says why.
    nextResult = 26;
    label.Click();
    EXPECT_FALSE(label.IsVisited());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), link);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
}

TEST_F(HyperlinkLabelTest, MouseClickOpensOnlyWhenReleasedOverTheLabel) {
    HyperlinkLabel label(QStringLiteral("target"), &parent);
    label.Attach();
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(opened.size(), 1u);
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(HyperlinkLabelTest, ErrorTexts) {
    EXPECT_EQ(HyperlinkLabel::OpenErrorText(1),
              QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (1) occurred."));
    EXPECT_EQ(HyperlinkLabel::OpenErrorText(31),
              QStringLiteral("Unable to open hyperlink:\n\nThere is no application associated\n"
                             "with the given filename extension."));
    EXPECT_EQ(HyperlinkLabel::OpenErrorText(-5),
              QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (-5) occurred."));
}

TEST_F(HyperlinkLabelTest, SystemOpenerReportsAMissingFileWithoutStartingAnything) {
    HyperlinkLabel::SetOpener({});
    EXPECT_EQ(HyperlinkLabel::OpenLink(QStringLiteral("/nonexistent/olvex/help.htm")), 2);
    EXPECT_EQ(HyperlinkLabel::OpenLink(QString()), 2);
}

} // namespace
} // namespace olvex
