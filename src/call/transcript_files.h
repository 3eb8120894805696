#pragma once

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

// "Save": asks for a file name, then writes the transcript there as Rich
// Text. On failure the operator is told in a message box naming the file, and
// no half-written file is left under the chosen name.
int32_t SaveTranscriptWithDialog(QWidget* parent, const TranscriptView& view);

// "Print": asks for a printer, then prints every page of the transcript once,
// as a print job named `title` (the call window's title).
int32_t PrintTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                  const QString& title);

// Stand-ins for the two modal dialogs, so that tests can answer them. The
// save hook returns the chosen path, empty for cancel; the print hook sets up
// the printer and returns false for cancel. An empty hook restores the dialog.
using SaveFileDialogHook =
    std::function<QString(QWidget* parent, const QString& filter, const QString& defaultSuffix)>;
using PrintDialogHook = std::function<bool(QWidget* parent, QPrinter& printer)>;
void SetSaveFileDialogHook(SaveFileDialogHook hook);
void SetPrintDialogHook(PrintDialogHook hook);

} // namespace olvex
