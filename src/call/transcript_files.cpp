#include "transcript_files.h"

#include "message_box.h"
#include "rtf_writer.h"
#include "transcript_view.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>

namespace olvex {

namespace {

SaveFileDialogHook& SaveHook() {
    static SaveFileDialogHook hook;
    return hook;
}

PrintDialogHook& PrintHook() {
    static PrintDialogHook hook;
    return hook;
}

// The save dialog: asks before replacing a file, and takes only a path whose
// folder exists.
QString AskSavePath(QWidget* parent, const QString& filter, const QString& defaultSuffix) {
    QPointer<QFileDialog> dialog = new QFileDialog(parent, QStringLiteral("Save As"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(defaultSuffix);
    QString chosen;
    while (dialog && ExecWindowModal(*dialog) == QDialog::Accepted && dialog) {
        const QStringList files = dialog->selectedFiles();
        if (files.isEmpty())
            break;
        const QFileInfo info(files.first());
        if (info.absoluteDir().exists()) {
            chosen = info.absoluteFilePath();
            break;
        }
        ShowMessageBox(dialog, QStringLiteral("%1\r\nThe folder does not exist.")
                                   .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
    }
    delete dialog.data();
    return chosen;
}

bool AskPrinter(QWidget* parent, QPrinter& printer) {
    QPointer<QPrintDialog> dialog = new QPrintDialog(&printer, parent);
    // All pages only. Printing to a file stays on offer: on desktops without
    // a printer it is the only way to get a PDF of the chat.
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog->setPrintRange(QAbstractPrintDialog::AllPages);
    const bool accepted = ExecWindowModal(*dialog) == QDialog::Accepted;
    delete dialog.data();
    return accepted;
}

} // namespace

void SetSaveFileDialogHook(SaveFileDialogHook hook) {
    SaveHook() = std::move(hook);
}

void SetPrintDialogHook(PrintDialogHook hook) {
    PrintHook() = std::move(hook);
}

int32_t SaveTranscriptWithDialog(QWidget* parent, const TranscriptView& view) {
    const QString filter = QStringLiteral("Rich Text Format(*.rtf)");
    const QString suffix = QStringLiteral("rtf");
    const QString path =
        SaveHook() ? SaveHook()(parent, filter, suffix) : AskSavePath(parent, filter, suffix);
    if (path.isEmpty())
        return kTranscriptCancelled;
    // The document is read after the dialog, so lines that came in while it
    // was open are saved too.
    const RtfSaveResult result = SaveTranscriptRtf(*view.document(), path);
    if (result.ok)
        return kTranscriptDone;
    ShowMessageBox(parent, result.errorText, QMessageBox::Warning);
    return kTranscriptFailed;
}

int32_t PrintTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                  const QString& title) {
    QPrinter printer(QPrinter::HighResolution);
    // The name of the job in the print queue, the title of a PDF, and what
    // the dialog offers as the name of a PDF file.
    printer.setDocName(title);
    const bool accepted = PrintHook() ? PrintHook()(parent, printer) : AskPrinter(parent, printer);
    if (!accepted)
        return kTranscriptCancelled;
    if (PrintTranscript(*view.document(), printer) >= 0)
        return kTranscriptDone;
    ShowMessageBox(parent,
                   QStringLiteral("The transcript could not be printed on \"%1\".")
                       .arg(printer.outputFormat() == QPrinter::PdfFormat
                                ? QDir::toNativeSeparators(printer.outputFileName())
                                : printer.printerName()),
                   QMessageBox::Warning);
    return kTranscriptFailed;
}

} // namespace olvex
