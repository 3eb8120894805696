#include "message_box.h"
#include "rtf_writer.h"
#include "transcript_files.h"
#include "transcript_view.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace olvex;

namespace {

class TranscriptFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetMessageBoxHook([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                 QMessageBox::StandardButtons) {
            shown.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        SetSaveFileDialogHook({});
        SetPrintDialogHook({});
    }

    // The five line styles, with the characters a Rich Text file must escape.
    void Conversation() {
        view.AppendNameLine("Ann", true);
        view.AppendPlain("Use {braces} and C:\\temp, caf\xc3\xa9 \xe2\x82\xac", kTextColour);
        view.AppendNameLine("Bob", false);
        view.AppendPlain("www.example.com/help", kLinkColour);
        view.AppendEvent("Bob has left this call");
    }

    // Answers the save dialog with `name` in the test folder, or cancels it.
    void AnswerSave(const QString& name) {
        SetSaveFileDialogHook([this, name](QWidget*, const QString& filter, const QString& suffix) {
            filters.push_back(filter + "|" + suffix);
            return name.isEmpty() ? QString() : dir.filePath(name);
        });
    }

    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    TranscriptView view;
    std::vector<QString> shown;
    QStringList filters;
};

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

} // namespace

TEST_F(TranscriptFilesTest, SaveWritesTheWholeTranscriptUnderTheChosenName) {
    Conversation();
    AnswerSave("chat.rtf");
    EXPECT_EQ(SaveTranscriptWithDialog(nullptr, view), kTranscriptDone);
    EXPECT_EQ(filters, QStringList{"Rich Text Format(*.rtf)|rtf"});
    EXPECT_EQ(ReadAll(dir.filePath("chat.rtf")), WriteRtf(*view.document()));
    EXPECT_EQ(Files(), QStringList{"chat.rtf"});
    EXPECT_TRUE(shown.empty());

    // Cancelled: nothing written, nothing said.
    AnswerSave(QString());
    EXPECT_EQ(SaveTranscriptWithDialog(nullptr, view), kTranscriptCancelled);
    EXPECT_EQ(Files(), QStringList{"chat.rtf"});
    EXPECT_TRUE(shown.empty());
}

TEST_F(TranscriptFilesTest, FailedSaveSaysWhichFileAndLeavesNoneBehind) {
    Conversation();
    AnswerSave("gone/chat.rtf");
    EXPECT_EQ(SaveTranscriptWithDialog(nullptr, view), kTranscriptFailed);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].contains(QDir::toNativeSeparators(dir.filePath("gone/chat.rtf"))))
        << shown[0].toStdString();
}

// A word processor's import filter stands in for the operator's word
// processor; skipped where none is installed.
TEST_F(TranscriptFilesTest, RealReaderSeesTheColoursAndCharacters) {
    const QString unrtf = QStandardPaths::findExecutable("unrtf");
    if (unrtf.isEmpty())
        GTEST_SKIP() << "no Rich Text reader installed";
    Conversation();
    AnswerSave("chat.rtf");
    ASSERT_EQ(SaveTranscriptWithDialog(nullptr, view), kTranscriptDone);

    QProcess reader;
    reader.start(unrtf, {"--html", dir.filePath("chat.rtf")});
    ASSERT_TRUE(reader.waitForFinished(10000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    QString html = QString::fromUtf8(reader.readAllStandardOutput());
    EXPECT_TRUE(html.contains("face=\"MS Sans Serif\"")) << html.toStdString();
    EXPECT_TRUE(html.contains("font-size:9pt"));
    // Line breaks and the spans round them fall differently from run to run.
    html.remove(QRegularExpression("<br>|\\n|</?span[^>]*>"));
    auto has = [&html](const QString& pattern) {
        return html.contains(QRegularExpression(pattern)) ? ::testing::AssertionSuccess()
                                                          : ::testing::AssertionFailure()
                                                                << pattern.toStdString() << " in "
                                                                << html.toStdString();
    };
    EXPECT_TRUE(has("<font color=\"#ff0000\"><b>Ann:"));
    EXPECT_TRUE(has("<font color=\"#404040\">Use \\{braces\\} and C:\\\\temp, "
                    "caf&eacute; &euro;</font>"));
    EXPECT_TRUE(has("<font color=\"#0000ff\"><b>Bob:"));
    EXPECT_TRUE(has("<font color=\"#0000ff\">((?!</font>).)*<u>www.example.com/help"));
    EXPECT_TRUE(has("<font color=\"#008080\"><b>Bob has left this call"));
}

TEST_F(TranscriptFilesTest, PrintsEveryPageOnceUnderTheWindowTitle) {
    const QString pdf = dir.filePath("chat.pdf");
    auto toPdf = [&pdf](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    };
    QPrinter probe(QPrinter::HighResolution);
    toPdf(probe);
    for (int line = 0; TranscriptPageCount(*view.document(), probe) < 3; ++line)
        view.AppendPlain(QString("line %1").arg(line), kTextColour);
    ASSERT_EQ(TranscriptPageCount(*view.document(), probe), 3);

    // Cancelled: no job at all.
    SetPrintDialogHook([](QWidget*, QPrinter&) { return false; });
    EXPECT_EQ(PrintTranscriptWithDialog(nullptr, view, "Olvex Call - Ann"), kTranscriptCancelled);
    EXPECT_FALSE(QFile::exists(pdf));

    SetPrintDialogHook([&](QWidget*, QPrinter& printer) {
        toPdf(printer);
        return true;
    });
    EXPECT_EQ(PrintTranscriptWithDialog(nullptr, view, "Olvex Call - Ann"), kTranscriptDone);
    const QString content = QString::fromLatin1(ReadAll(pdf));
    EXPECT_EQ(content.count(QRegularExpression("/Type\\s*/Page(?!s)")), 3);
    // The job's name is the PDF's title, in UTF-16 with a byte order mark.
    const auto title = QRegularExpression("/Title \\(\u00fe\u00ff([^\n]*)\\)\n").match(content);
    ASSERT_TRUE(title.hasMatch());
    EXPECT_EQ(title.captured(1).remove(QChar(0)), "Olvex Call - Ann");
    EXPECT_TRUE(shown.empty());
}

TEST(TranscriptNames, OddVisitorNamesGiveUsableFileNamesInTheDocumentsFolder) {
    const QDate day(2026, 12, 8);
    EXPECT_EQ(ProposedTranscriptName("Jane Doe", day), "Olvex chat with Jane Doe 2026-12-08");
    EXPECT_EQ(ProposedTranscriptName("a/b\\c:d*e?f\"g<h>i|j", day),
              "Olvex chat with a_b_c_d_e_f_g_h_i_j 2026-12-08");
    EXPECT_EQ(ProposedTranscriptName("../..", day), "Olvex chat with _.. 2026-12-08");
    EXPECT_EQ(ProposedTranscriptName("  \t\n", day), "Olvex chat with a visitor 2026-12-08");
    EXPECT_EQ(ProposedTranscriptName("Zoë 注文", day), "Olvex chat with Zoë 注文 2026-12-08");
    EXPECT_LE(ProposedTranscriptName(QString(500, 'x'), day).size(), 120);

    // In the documents folder, or at home where there is none yet.
    const QTemporaryDir dir;
    const QByteArray home = qgetenv("HOME");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    QString path = ProposedTranscriptPath("Jane Doe", day, "rtf");
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
    ASSERT_TRUE(QDir(dir.path()).mkdir("Documents"));
    path = ProposedTranscriptPath("Jane Doe", day, "rtf");
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(dir.filePath("Documents")).absolutePath());
    EXPECT_EQ(QFileInfo(path).fileName(), "Olvex chat with Jane Doe 2026-12-08.rtf");
    qputenv("HOME", home);
    if (configHome.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", configHome);
}

TEST_F(TranscriptFilesTest, ASavedTranscriptStartsWithWhoAndWhen) {
    Conversation();
    const int64_t start = QDateTime(QDate(2026, 12, 8), QTime(14, 2)).toMSecsSinceEpoch();
    const TranscriptHeader header{"Jane Doe", "Op", start, start + 28 * 60'000};
    EXPECT_EQ(TranscriptHeaderText(header),
              "Chat with Jane Doe, operator Op, 2026-12-08 from 14:02 to 14:30");
    EXPECT_EQ(TranscriptHeaderText({"", "Op", start, 0}),
              "Chat with a visitor, operator Op, 2026-12-08 from 14:02");
    AnswerSave("chat.rtf");
    EXPECT_EQ(SaveTranscriptWithDialog(nullptr, view, QString(), header), kTranscriptDone);
    const std::string rtf = ReadAll(dir.filePath("chat.rtf"));
    const size_t head = rtf.find("Chat with Jane Doe, operator Op, 2026-12-08 from 14:02 to 14:30");
    ASSERT_NE(head, std::string::npos);
    EXPECT_LT(head, rtf.find("Ann:"));
    // The window's own transcript is left as it was.
    EXPECT_FALSE(view.toPlainText().contains("Chat with"));
}
