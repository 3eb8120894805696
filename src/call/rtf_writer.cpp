#include "rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace olvex {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendByteEscape(std::string& out, unsigned char byte) {
    out += "\\'";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0f];
}

// Windows-1252 bytes 0x80 to 0x9f; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

// The byte of `cp` in Windows-1252, or 0 when it has none.
unsigned char Cp1252Byte(char32_t cp) {
    if (cp >= 0xa0 && cp <= 0xff)
        return static_cast<unsigned char>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == cp)
            return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

// A character beyond ASCII: its \u form for every current reader, then one
// fallback character (\uc1) for readers without Unicode: its Windows-1252
// byte as \'hh, or "?".
void AppendUnicode(std::string& out, char32_t cp) {
    // \uN takes a signed 16-bit value.
    auto unicode = [&out](int unit) {
        out += "\\u";
        out += std::to_string(unit > 0x7fff ? unit - 0x10000 : unit);
    };
    if (cp >= 0x10000) {
        const char32_t v = cp - 0x10000;
        unicode(static_cast<int>(0xd800 + (v >> 10)));
        out += '?';
        unicode(static_cast<int>(0xdc00 + (v & 0x3ff)));
        out += '?';
        return;
    }
    unicode(static_cast<int>(cp));
    if (const unsigned char byte = Cp1252Byte(cp))
        AppendByteEscape(out, byte);
    else
        out += '?';
}

void AppendText(std::string& out, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text.at(i).unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        } else if (QChar::isSurrogate(cp)) {
            cp = 0xfffd; // a lone half is no character
        }
        switch (cp) {
        case '\\':
            out += "\\\\";
            continue;
        case '{':
            out += "\\{";
            continue;
        case '}':
            out += "\\}";
            continue;
        case '\t':
            out += "\\tab ";
            continue;
        case QChar::LineSeparator:
            out += "\\line ";
            continue;
        default:
            break;
        }
        if (cp < 0x20 || cp == 0x7f)
            continue; // control characters have no place in the text of a file
        if (cp < 0x80)
            out += static_cast<char>(cp);
        else
            AppendUnicode(out, cp);
    }
}

// Colour table entries in order of first use; index 0 is the reader's default.
class ColourTable {
public:
    int IndexOf(const QTextCharFormat& format) {
        const QColor colour = PaperColour(format);
        if (!colour.isValid())
            return 0;
        const QRgb rgb = colour.rgb() & 0xffffff;
        for (size_t i = 0; i < colours_.size(); ++i) {
            if (colours_[i] == rgb)
                return static_cast<int>(i) + 1;
        }
        colours_.push_back(rgb);
        return static_cast<int>(colours_.size());
    }

    std::string Rtf() const {
        std::string out = "{\\colortbl ;";
        for (QRgb rgb : colours_) {
            out += "\\red" + std::to_string(qRed(rgb)) + "\\green" + std::to_string(qGreen(rgb)) +
                   "\\blue" + std::to_string(qBlue(rgb)) + ";";
        }
        return out + "}";
    }

private:
    std::vector<QRgb> colours_;
};

struct RunState {
    int colour = 0;
    bool bold = false;
    bool underline = false;
};

void AppendRunChange(std::string& out, RunState& state, int colour, bool bold, bool underline) {
    std::string words;
    if (colour != state.colour)
        words += "\\cf" + std::to_string(colour);
    if (bold != state.bold)
        words += bold ? "\\b" : "\\b0";
    if (underline != state.underline)
        words += underline ? "\\ul" : "\\ulnone";
    if (words.empty())
        return;
    out += words;
    out += ' ';
    state = {colour, bold, underline};
}

// The page is the printable area cut to whole inches across and down, with
// no margins of its own; a printable area under an inch is used whole, so
// that there is always room for text.
QSizeF TranscriptPageSize(const QPrinter& printer) {
    const QSizeF area = printer.pageRect(QPrinter::DevicePixel).size();
    auto whole = [](qreal pixels, int dpi) {
        if (dpi <= 0)
            return pixels;
        const qreal inches = std::floor(pixels / dpi);
        return inches >= 1 ? inches * dpi : pixels;
    };
    return QSizeF(whole(area.width(), printer.logicalDpiX()),
                  whole(area.height(), printer.logicalDpiY()));
}

std::unique_ptr<QTextDocument> PaginatedCopy(const QTextDocument& document, QPrinter& printer) {
    std::unique_ptr<QTextDocument> copy(document.clone());
    copy->setDefaultFont(document.defaultFont());
    copy->documentLayout()->setPaintDevice(&printer);
    copy->setDocumentMargin(0);
    copy->setPageSize(TranscriptPageSize(printer));
    UsePaperColours(*copy);
    return copy;
}

} // namespace

QColor PaperColour(const QTextCharFormat& format) {
    const QVariant paper = format.property(kPaperColourProperty);
    if (paper.isValid())
        return paper.value<QColor>();
    const QBrush brush = format.foreground();
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}

void UsePaperColours(QTextDocument& document, const std::function<QColor(const QColor&)>& shown) {
    // Collected first: changing formats merges and splits the fragments being walked.
    struct Run {
        int start, end;
        QColor colour;
    };
    std::vector<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QVariant paper = fragment.charFormat().property(kPaperColourProperty);
            if (fragment.isValid() && paper.isValid())
                runs.push_back({fragment.position(), fragment.position() + fragment.length(),
                                shown ? shown(paper.value<QColor>()) : paper.value<QColor>()});
        }
    }
    QTextCursor cursor(&document);
    for (const Run& run : runs) {
        cursor.setPosition(run.start);
        cursor.setPosition(run.end, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setForeground(run.colour);
        cursor.mergeCharFormat(format);
    }
}

std::string WriteRtf(const QTextDocument& document) {
    ColourTable colours;
    RunState state;
    std::string body;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const bool last = !block.next().isValid();
        if (last && block.length() <= 1)
            break; // the empty line after the final line break
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            AppendRunChange(body, state, colours.IndexOf(format),
                            format.fontWeight() >= QFont::DemiBold, format.fontUnderline());
            AppendText(body, fragment.text());
        }
        if (!last)
            body += "\\par\r\n";
    }
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0"
                      "{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}}\r\n";
    out += colours.Rtf();
    out += "\r\n\\viewkind4\\uc1\\pard\\plain\\f0\\fs18 ";
    out += body;
    out += "}\r\n";
    return out;
}

RtfSaveResult SaveTranscriptRtf(const QTextDocument& document, const QString& path) {
    const std::string rtf = WriteRtf(document);
    QSaveFile file(path);
    // Never fall back to writing in place: that is what leaves half a file.
    file.setDirectWriteFallback(false);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok)
        ok = file.write(rtf.data(), static_cast<qint64>(rtf.size())) ==
             static_cast<qint64>(rtf.size());
    if (ok)
        ok = file.commit();
    if (ok)
        return {true, {}};
    const QString reason = file.errorString();
    file.cancelWriting();
    return {false, QStringLiteral("The transcript could not be saved to \"%1\".\r\n%2")
                       .arg(QDir::toNativeSeparators(path), reason)};
}

int32_t TranscriptPageCount(const QTextDocument& document, QPrinter& printer) {
    return PaginatedCopy(document, printer)->pageCount();
}

int32_t PrintTranscript(const QTextDocument& document, QPrinter& printer) {
    auto copy = PaginatedCopy(document, printer);
    const int32_t pages = copy->pageCount();
    const QSizeF page = copy->pageSize();
    // Our own page loop rather than QTextDocument::print, which would stretch
    // the page to the whole printable area and print copies by itself.
    QPainter painter;
    if (!painter.begin(&printer))
        return -1;
    for (int32_t i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            return -1;
        }
        const QRectF shown(0, i * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -shown.top());
        painter.setClipRect(shown);
        copy->drawContents(&painter, shown);
        painter.restore();
    }
    painter.end();
    return printer.printerState() == QPrinter::Error ? -1 : pages;
}

} // namespace olvex
