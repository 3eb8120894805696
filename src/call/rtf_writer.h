#pragma once

#include <QColor>
#include <QString>
#include <QTextFormat>
#include <cstdint>
#include <functional>
#include <string>

class QPrinter;
class QTextDocument;

namespace olvex {

// The colour a run was written in, kept beside the one the screen shows, which may be moved
// to read on a dark background. Files and paper get this one.
inline constexpr int kPaperColourProperty = QTextFormat::UserProperty + 1;
QColor PaperColour(const QTextCharFormat& format);
// Gives every run of the document its paper colour back, or what `shown` makes of it.
void UsePaperColours(QTextDocument& document,
                     const std::function<QColor(const QColor&)>& shown = {});

// Rich Text of a transcript: one paragraph per line, face "MS Sans Serif" at
// 9 points, colours, bold and underline as in the document. Each character
// beyond ASCII is written in its \u form followed by one fallback character
// for readers without Unicode: its Windows-1252 byte as a \'hh escape, or "?".
std::string WriteRtf(const QTextDocument& document);

struct RtfSaveResult {
    bool ok = false;
    QString errorText; // names the file; empty on success
};

// Writes the whole file or nothing: on failure an existing file of that name is
// left as it was and no partial file appears.
RtfSaveResult SaveTranscriptRtf(const QTextDocument& document, const QString& path);

// Prints the transcript from the top left of the printer's printable area,
// cut to whole inches, without margins, headers or page numbers of its own;
// each page once, copies being the printer's business. Returns the number of pages
// printed, or -1 when the printer could not be started.
int32_t PrintTranscript(const QTextDocument& document, QPrinter& printer);
// The pages PrintTranscript would print on this printer.
int32_t TranscriptPageCount(const QTextDocument& document, QPrinter& printer);

} // namespace olvex
