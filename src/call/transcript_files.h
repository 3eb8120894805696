#pragma once

#include <QDate>
#include <QString>
#include <cstdint>
#include <functional>

class QPrinter;
class QWidget;

namespace olvex {

class TranscriptView;

// Results of the two tools below.
inline constexpr int32_t kTranscriptDone = 0;
inline constexpr int32_t kTranscriptCancelled = 1;
inline constexpr int32_t kTranscriptFailed = -1;

// Who a saved or printed chat was with and when; it heads the file or the first page.
struct TranscriptHeader {
    QString visitor;
    QString operatorName;
    int64_t started = 0; // milliseconds since the epoch
    int64_t ended = 0;   // 0: still running
};
// "Chat with Jane Doe, operator Op, 2026-12-08 from 14:02 to 14:30", in local time.
QString TranscriptHeaderText(const TranscriptHeader& header);

// "Olvex chat with Jane Doe 2026-12-08" with `suffix` ("rtf"), in the operator's documents
// folder. Characters a file name cannot hold on any common system are replaced.
QString ProposedTranscriptPath(const QString& visitor, const QDate& date, const QString& suffix);
QString ProposedTranscriptName(const QString& visitor, const QDate& date);

// "Save": asks for a file name (proposing `proposed` when given), then writes the transcript
// there as Rich Text, under `header` when it has a date. On failure the operator is told in
// a message box naming the file, and no half-written file is left under the chosen name.
int32_t SaveTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                 const QString& proposed = QString(),
                                 const TranscriptHeader& header = {});

// "Print": asks for a printer, then prints every page of the transcript once,
// as a print job named `title` (the call window's title), with margins of at least
// 15 mm and `header` on top when it has a date.
int32_t PrintTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                  const QString& title, const TranscriptHeader& header = {});

// Stand-ins for the two modal dialogs, so that tests can answer them. The
// save hook returns the chosen path, empty for cancel; the print hook sets up
// the printer and returns false for cancel. An empty hook restores the dialog.
using SaveFileDialogHook =
    std::function<QString(QWidget* parent, const QString& filter, const QString& defaultSuffix)>;
using PrintDialogHook = std::function<bool(QWidget* parent, QPrinter& printer)>;
void SetSaveFileDialogHook(SaveFileDialogHook hook);
void SetPrintDialogHook(PrintDialogHook hook);

} // namespace olvex
