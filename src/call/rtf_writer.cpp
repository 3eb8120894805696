#include "rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
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

void AppendUtf8Escapes(std::string& out, char32_t cp) {
    char bytes[4];
    int count;
    if (cp < 0x800) {
        bytes[0] = static_cast<char>(0xc0 | (cp >> 6));
        bytes[1] = static_cast<char>(0x80 | (cp & 0x3f));
        count = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<char>(0xe0 | (cp >> 12));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        bytes[2] = static_cast<char>(0x80 | (cp & 0x3f));
        count = 3;
    } else {
        bytes[0] = static_cast<char>(0xf0 | (cp >> 18));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        bytes[3] = static_cast<char>(0x80 | (cp & 0x3f));
        count = 4;
    }
    // \uN takes a signed 16-bit value; the \'hh bytes after it are the
    // fallback that \ucN tells a Unicode reader to skip.
    auto unicode = [&out](int unit) {
        out += "\\u";
        out += std::to_string(unit > 0x7fff ? unit - 0x10000 : unit);
    };
    if (cp < 0x10000) {
        out += "\\uc" + std::to_string(count);
        unicode(static_cast<int>(cp));
    } else {
        const char32_t v = cp - 0x10000;
        out += "\\uc0";
        unicode(static_cast<int>(0xd800 + (v >> 10)));
        out += "\\uc" + std::to_string(count);
        unicode(static_cast<int>(0xdc00 + (v & 0x3ff)));
    }
    for (int i = 0; i < count; ++i)
        AppendByteEscape(out, static_cast<unsigned char>(bytes[i]));
}

void AppendText(std::string& out, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text.at(i).unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        } else if (QChar::isSurrogate(cp)) {
            cp = 0xfffd; // a lone half cannot be written as UTF-8
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
            AppendUtf8Escapes(out, cp);
    }
}

// Colour table entries in order of first use; index 0 is the reader's default.
class ColourTable {
public:
    int IndexOf(const QTextCharFormat& format) {
        const QBrush brush = format.foreground();
        if (brush.style() == Qt::NoBrush)
            return 0;
        const QRgb rgb = brush.color().rgb() & 0xffffff;
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

std::unique_ptr<QTextDocument> PaginatedCopy(const QTextDocument& document, QPrinter& printer) {
    std::unique_ptr<QTextDocument> copy(document.clone());
    copy->setDefaultFont(document.defaultFont());
    copy->documentLayout()->setPaintDevice(&printer);
    copy->setDocumentMargin(0);
    copy->setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
    return copy;
}

} // namespace

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
    std::string out = "{\\rtf1\\ansi\\ansicpg65001\\deff0"
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
    if (!printer.isValid())
        return -1;
    copy->print(&printer);
    return printer.printerState() == QPrinter::Error ? -1 : pages;
}

} // namespace olvex
