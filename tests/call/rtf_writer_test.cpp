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

// A small RTF reader: enough of the format to get the text of each paragraph
// with its colour, bold and underline back out of what the writer produced.
struct RtfRun {
    std::string text; // UTF-8
    QColor colour;    // invalid: the reader's default
    bool bold = false;
    bool underline = false;
};

struct RtfDocument {
    bool wellFormed = false;
    std::vector<std::string> fonts;
    std::vector<int> fontSizes; // half points, from \fs
    std::vector<std::vector<RtfRun>> paragraphs;
    QString unicodeText; // text as a \u-aware reader sees it
};

RtfDocument ParseRtf(const std::string& rtf) {
    struct State {
        int colour = 0;
        bool bold = false;
        bool underline = false;
        int uc = 1;
        std::string destination;
    };
    RtfDocument doc;
    std::vector<State> stack;
    State state;
    std::vector<QColor> colours;
    int red = 0, green = 0, blue = 0;
    bool sawColour = false;
    std::string fontName;
    int depth = 0;
    int skip = 0; // fallback characters still to drop for the \u reader
    std::vector<RtfRun> paragraph;
    auto put = [&](const std::string& bytes, bool forUnicodeReader) {
        if (!state.destination.empty())
            return;
        if (forUnicodeReader)
            doc.unicodeText += QString::fromLatin1(bytes.data(), bytes.size());
        const QColor colour = state.colour < static_cast<int>(colours.size())
                                  ? colours[state.colour]
                                  : QColor(Qt::magenta);
        if (paragraph.empty() || paragraph.back().colour != colour ||
            paragraph.back().bold != state.bold || paragraph.back().underline != state.underline)
            paragraph.push_back({"", colour, state.bold, state.underline});
        paragraph.back().text += bytes;
    };
    auto text = [&](const std::string& bytes, bool counted) {
        if (counted && skip > 0) {
            --skip;
            put(bytes, false);
        } else {
            put(bytes, true);
        }
    };
    size_t i = 0;
    if (rtf.rfind("{\\rtf1", 0) != 0)
        return doc;
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(state);
            ++depth;
            ++i;
        } else if (c == '}') {
            if (stack.empty())
                return doc;
            if (state.destination == "fonttbl" && !fontName.empty()) {
                doc.fonts.push_back(fontName);
                fontName.clear();
            }
            state = stack.back();
            stack.pop_back();
            if (--depth == 0) {
                doc.wellFormed = rtf.find_first_not_of("\r\n", i + 1) == std::string::npos;
                if (!paragraph.empty())
                    doc.paragraphs.push_back(paragraph);
                return doc;
            }
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c == '\\') {
            ++i;
            if (i >= rtf.size())
                return doc;
            const char s = rtf[i];
            if (s == '\\' || s == '{' || s == '}') {
                text(std::string(1, s), true);
                ++i;
            } else if (s == '\'') {
                const int byte = std::stoi(rtf.substr(i + 1, 2), nullptr, 16);
                text(std::string(1, static_cast<char>(byte)), true);
                i += 3;
            } else if (std::isalpha(static_cast<unsigned char>(s))) {
                size_t j = i;
                while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j])))
                    ++j;
                const std::string word = rtf.substr(i, j - i);
                std::optional<int> param;
                size_t k = j;
                if (k < rtf.size() &&
                    (rtf[k] == '-' || std::isdigit(static_cast<unsigned char>(rtf[k])))) {
                    ++k;
                    while (k < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[k])))
                        ++k;
                    param = std::stoi(rtf.substr(j, k - j));
                }
                if (k < rtf.size() && rtf[k] == ' ')
                    ++k;
                i = k;
                sawColour = sawColour || word == "red" || word == "green" || word == "blue";
                if (word == "fonttbl" || word == "colortbl")
                    state.destination = word;
                else if (word == "red")
                    red = param.value_or(0);
                else if (word == "green")
                    green = param.value_or(0);
                else if (word == "blue")
                    blue = param.value_or(0);
                else if (word == "cf")
                    state.colour = param.value_or(0);
                else if (word == "b")
                    state.bold = param.value_or(1) != 0;
                else if (word == "ul")
                    state.underline = param.value_or(1) != 0;
                else if (word == "ulnone")
                    state.underline = false;
                else if (word == "plain")
                    state = State{0, false, false, state.uc, state.destination};
                else if (word == "fs")
                    doc.fontSizes.push_back(param.value_or(0));
                else if (word == "uc")
                    state.uc = param.value_or(1);
                else if (word == "tab")
                    text("\t", true);
                else if (word == "line")
                    text("\xe2\x80\xa8", true);
                else if (word == "u") {
                    int unit = param.value_or(0);
                    if (unit < 0)
                        unit += 0x10000;
                    doc.unicodeText += QChar(static_cast<char16_t>(unit));
                    skip = state.uc;
                } else if (word == "par") {
                    doc.paragraphs.push_back(paragraph);
                    paragraph.clear();
                    // Each paragraph mark is followed by the line end "\r\n".
                    if (rtf.compare(i, 2, "\r\n") != 0)
                        return doc;
                }
            } else {
                ++i; // other control symbols are not written
            }
        } else if (c == ';' && state.destination == "colortbl") {
            colours.push_back(sawColour ? QColor(red, green, blue) : QColor());
            red = green = blue = 0;
            sawColour = false;
            ++i;
        } else if (state.destination == "fonttbl") {
            if (c != ';')
                fontName += c;
            ++i;
        } else {
            text(std::string(1, c), true);
            ++i;
        }
    }
    return doc;
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
    RtfDocument doc = ParseRtf(rtf);
    ASSERT_TRUE(doc.wellFormed) << rtf;
    EXPECT_EQ(doc.fonts, std::vector<std::string>{"MS Sans Serif"});
    EXPECT_EQ(doc.fontSizes, std::vector<int>{18});
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

    // A reader that understands \u sees the same characters.
    EXPECT_TRUE(doc.unicodeText.contains(
        QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\ttab")))
        << doc.unicodeText.toStdString();
    EXPECT_NE(rtf.find("\\'c3\\'a9"), std::string::npos);
}

TEST_F(RtfTest, EmptyTranscriptIsAValidEmptyDocument) {
    RtfDocument doc = ParseRtf(WriteRtf(*view.document()));
    EXPECT_TRUE(doc.wellFormed);
    EXPECT_TRUE(doc.paragraphs.empty());

    QTextDocument bare;
    EXPECT_TRUE(ParseRtf(WriteRtf(bare)).wellFormed);
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
