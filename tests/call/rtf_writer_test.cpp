#include "rtf_writer.h"
#include "transcript_view.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace olvex;

namespace {

// Just enough of an RTF reader to get each paragraph's runs back: colour, bold,
// underline, and the text with its \u forms decoded and their fallbacks skipped.
struct RtfRun {
    std::string text; // UTF-8
    QColor colour;
    bool bold = false;
    bool underline = false;
};
using Paragraph = std::vector<RtfRun>;

struct Parsed {
    bool balanced = false;
    std::vector<Paragraph> paragraphs;
};

Parsed ParseRtf(const std::string& rtf) {
    struct Style {
        int colour = 0;
        bool bold = false, underline = false;
    } style;
    std::vector<Style> stack;
    std::vector<QColor> colours;
    char16_t highHalf = 0;
    Parsed out;
    Paragraph paragraph;
    auto put = [&](char c) {
        const QColor colour =
            style.colour < int(colours.size()) ? colours[style.colour] : Qt::magenta;
        if (paragraph.empty() || paragraph.back().colour != colour ||
            paragraph.back().bold != style.bold || paragraph.back().underline != style.underline)
            paragraph.push_back({"", colour, style.bold, style.underline});
        paragraph.back().text += c;
    };
    static const QRegularExpression word(R"(^\\([a-z]+)(-?\d+)? ?)");
    for (size_t i = 0; i < rtf.size();) {
        const char c = rtf[i];
        if (c == '{' && rtf.compare(i, 10, "{\\fonttbl{") == 0) {
            i = rtf.find("}}", i) + 2;
        } else if (c == '{' && rtf.compare(i, 10, "{\\colortbl") == 0) {
            const size_t close = rtf.find('}', i);
            static const QRegularExpression entry(R"((?:\\red(\d+)\\green(\d+)\\blue(\d+))?;)");
            auto m = entry.globalMatch(QString::fromStdString(rtf.substr(i, close - i)));
            while (m.hasNext()) {
                auto e = m.next();
                colours.push_back(e.hasCaptured(1)
                                      ? QColor(e.captured(1).toInt(), e.captured(2).toInt(),
                                               e.captured(3).toInt())
                                      : QColor());
            }
            i = close + 1;
        } else if (c == '{') {
            stack.push_back(style);
            ++i;
        } else if (c == '}') {
            if (stack.empty())
                return out;
            style = stack.back();
            stack.pop_back();
            if (stack.empty()) {
                out.balanced = rtf.compare(i, std::string::npos, "}\r\n") == 0;
                return out;
            }
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            put(rtf[i++]);
        } else if (std::string("\\{}").find(rtf[i + 1]) != std::string::npos) {
            put(rtf[i + 1]);
            i += 2;
        } else if (rtf[i + 1] == '\'') {
            put(static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16)));
            i += 4;
        } else {
            auto m = word.match(QString::fromStdString(rtf.substr(i, 16)));
            if (!m.hasMatch())
                return out;
            const QString name = m.captured(1);
            const int value = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
            if (name == "cf")
                style.colour = value;
            else if (name == "b")
                style.bold = value != 0;
            else if (name == "ul")
                style.underline = true;
            else if (name == "ulnone")
                style.underline = false;
            else if (name == "u") {
                char16_t unit = static_cast<char16_t>(value < 0 ? value + 0x10000 : value);
                if (QChar::isHighSurrogate(unit)) {
                    highHalf = unit;
                } else {
                    const QString character = QChar::isLowSurrogate(unit)
                                                  ? QString(QChar(highHalf)) + QChar(unit)
                                                  : QString(QChar(unit));
                    for (char byte : character.toUtf8())
                        put(byte);
                }
                i += m.capturedLength();
                // One fallback character (\uc1): an escaped byte or a plain one.
                i += rtf.compare(i, 2, "\\'") == 0 ? 4 : 1;
                continue;
            } else if (name == "tab")
                put('\t');
            else if (name == "par") {
                out.paragraphs.push_back(paragraph);
                paragraph.clear();
                if (rtf.compare(i + m.capturedLength(), 2, "\r\n") != 0)
                    return out; // every paragraph mark ends a line
            }
            i += m.capturedLength();
        }
    }
    return out;
}

class RtfTest : public ::testing::Test {
protected:
    void Conversation() {
        view.AppendNameLine("Ann", true);
        view.AppendPlain(
            "Hello {there} C:\\temp \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\ttab",
            kTextColour);
        view.AppendNameLine("Bob", false);
        view.AppendPlain("<b>not bold</b> www.x.example", kTextColour);
        view.AppendEvent("Bob has left this call");
    }

    TranscriptView view;
};

} // namespace

TEST_F(RtfTest, LinesComeBackWithTheirStyles) {
    Conversation();
    const std::string rtf = WriteRtf(*view.document());
    for (unsigned char c : rtf)
        ASSERT_LT(c, 0x80) << "only ASCII belongs in an RTF file";
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}}"), std::string::npos);
    EXPECT_NE(rtf.find("\\f0\\fs18 "), std::string::npos);
    // Unicode readers get each non-ASCII character from its \u form; the
    // others get its Windows-1252 byte, or "?".
    EXPECT_NE(rtf.find("\\ansicpg1252"), std::string::npos);
    EXPECT_NE(rtf.find("\\u233\\'e9"), std::string::npos);
    EXPECT_NE(rtf.find("\\u8364\\'80"), std::string::npos);
    EXPECT_NE(rtf.find("\\u-10179?\\u-8704?"), std::string::npos);
    Parsed doc = ParseRtf(rtf);
    ASSERT_TRUE(doc.balanced) << rtf;
    ASSERT_EQ(doc.paragraphs.size(), 5u) << rtf;

    const auto& own = doc.paragraphs[0];
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].text, "Ann:");
    EXPECT_EQ(own[0].colour, QColor(255, 0, 0));
    EXPECT_TRUE(own[0].bold);

    const auto& text = doc.paragraphs[1];
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].text,
              "Hello {there} C:\\temp \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\ttab");
    EXPECT_EQ(text[0].colour, QColor(64, 64, 64));
    EXPECT_FALSE(text[0].bold);

    EXPECT_EQ(doc.paragraphs[2][0].colour, QColor(0, 0, 255));
    EXPECT_TRUE(doc.paragraphs[2][0].bold);

    const auto& markup = doc.paragraphs[3];
    ASSERT_EQ(markup.size(), 2u);
    EXPECT_EQ(markup[0].text, "<b>not bold</b> ");
    EXPECT_FALSE(markup[0].bold);
    EXPECT_EQ(markup[1].text, "www.x.example");
    EXPECT_TRUE(markup[1].underline);
    EXPECT_EQ(markup[1].colour, QColor(64, 64, 64));

    const auto& event = doc.paragraphs[4];
    ASSERT_EQ(event.size(), 1u);
    EXPECT_EQ(event[0].text, "Bob has left this call");
    EXPECT_EQ(event[0].colour, QColor(0, 128, 128));
    EXPECT_TRUE(event[0].bold);
    EXPECT_FALSE(event[0].underline);
}

TEST_F(RtfTest, EmptyTranscriptIsAValidEmptyDocument) {
    Parsed doc = ParseRtf(WriteRtf(*view.document()));
    EXPECT_TRUE(doc.balanced);
    EXPECT_TRUE(doc.paragraphs.empty());

    QTextDocument bare;
    EXPECT_TRUE(ParseRtf(WriteRtf(bare)).balanced);
}

TEST_F(RtfTest, SaveReplacesTheFileWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("chat.rtf");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(std::string(100000, 'x').c_str());
    }
    Conversation();
    RtfSaveResult result = SaveTranscriptRtf(*view.document(), path);
    ASSERT_TRUE(result.ok) << result.errorText.toStdString();
    EXPECT_TRUE(result.errorText.isEmpty());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), WriteRtf(*view.document()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"chat.rtf"});
}

TEST_F(RtfTest, FailedSaveNamesTheFileAndLeavesNothingBehind) {
    Conversation();
    QTemporaryDir dir;
    const QString missing = dir.filePath("no/such/folder/chat.rtf");
    RtfSaveResult result = SaveTranscriptRtf(*view.document(), missing);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.errorText.contains(QDir::toNativeSeparators(missing)));
    EXPECT_FALSE(QFile::exists(missing));

    // A folder under the chosen name cannot be replaced by the transcript.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.rtf"));
    result = SaveTranscriptRtf(*view.document(), dir.filePath("taken.rtf"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.rtf")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(RtfTest, PrintingToPdfGivesEveryPageOnce) {
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("chat.pdf"));
    int line = 0;
    while (TranscriptPageCount(*view.document(), printer) < 3) {
        for (int i = 0; i < 10; ++i, ++line)
            view.AppendPlain(QString("line %1").arg(line), kTextColour);
    }
    ASSERT_EQ(TranscriptPageCount(*view.document(), printer), 3);
    EXPECT_EQ(PrintTranscript(*view.document(), printer), 3);
    QFile pdf(dir.filePath("chat.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QString content = QString::fromLatin1(pdf.readAll());
    EXPECT_EQ(content.count(QRegularExpression("/Type\\s*/Page(?!s)")), 3);
}

TEST_F(RtfTest, PagesAreWholeInchesOfThePrintableArea) {
    QTemporaryDir dir;
    auto pagesOn = [&](qreal inches) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("page.pdf"));
        printer.setPageSize(QPageSize(QSizeF(inches, inches), QPageSize::Inch));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        return TranscriptPageCount(*view.document(), printer);
    };
    for (int line = 0; line < 200; ++line)
        view.AppendPlain(QString("line %1").arg(line), kTextColour);
    // 3.9 inches print like 3: the part-inch is left blank.
    EXPECT_GT(pagesOn(2), pagesOn(3));
    EXPECT_EQ(pagesOn(3), pagesOn(3.9));
    EXPECT_GT(pagesOn(3.9), pagesOn(4));

    // Less than an inch to print on: the whole area is used rather than none.
    QPrinter tiny(QPrinter::HighResolution);
    tiny.setOutputFormat(QPrinter::PdfFormat);
    tiny.setOutputFileName(dir.filePath("tiny.pdf"));
    tiny.setPageSize(QPageSize(QSizeF(0.8, 0.8), QPageSize::Inch));
    tiny.setPageMargins(QMarginsF(0, 0, 0, 0));
    const int32_t pages = TranscriptPageCount(*view.document(), tiny);
    EXPECT_GT(pages, pagesOn(2));
    EXPECT_EQ(PrintTranscript(*view.document(), tiny), pages);
}
