#include "transcript_files.h"

#include "message_box.h"
#include "rtf_writer.h"
#include "transcript_view.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>
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
QString AskSavePath(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                    const QString& proposed) {
    QPointer<QFileDialog> dialog = new QFileDialog(parent, QStringLiteral("Save As"));
    if (!proposed.isEmpty()) {
        dialog->setDirectory(QFileInfo(proposed).absolutePath());
        dialog->selectFile(QFileInfo(proposed).fileName());
    }
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

constexpr double kMinMarginMm = 15.0;

// The document with the header as its first line, or the document itself without one.
std::unique_ptr<QTextDocument> WithHeader(const QTextDocument& document,
                                          const TranscriptHeader& header) {
    std::unique_ptr<QTextDocument> copy(document.clone());
    copy->setDefaultFont(document.defaultFont());
    if (header.started == 0)
        return copy;
    QTextCursor cursor(copy.get());
    cursor.movePosition(QTextCursor::Start);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(TranscriptHeaderText(header), bold);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    return copy;
}

QString FileNamePart(QString text) {
    // What Windows, macOS and Linux file systems refuse, and control characters.
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
        else if (QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    return text.simplified();
}

} // namespace

QString TranscriptHeaderText(const TranscriptHeader& header) {
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(header.started);
    QString text = QStringLiteral("Chat with %1, operator %2, %3 from %4")
                       .arg(header.visitor.isEmpty() ? QStringLiteral("a visitor") : header.visitor,
                            header.operatorName, start.toString(QStringLiteral("yyyy-MM-dd")),
                            start.toString(QStringLiteral("HH:mm")));
    if (header.ended != 0) {
        const QDateTime end = QDateTime::fromMSecsSinceEpoch(header.ended);
        text += QStringLiteral(" to %1").arg(
            end.toString(end.date() == start.date() ? QStringLiteral("HH:mm")
                                                    : QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    return text;
}

QString ProposedTranscriptName(const QString& visitor, const QDate& date) {
    // Long names are cut so that the whole name stays well within file system limits.
    QString who = FileNamePart(visitor).left(80);
    while (who.startsWith(QLatin1Char('.')))
        who.remove(0, 1);
    if (who.isEmpty())
        who = QStringLiteral("a visitor");
    return QStringLiteral("Olvex chat with %1 %2").arg(who, date.toString(QStringLiteral("yyyy-MM-dd")));
}

QString ProposedTranscriptPath(const QString& visitor, const QDate& date, const QString& suffix) {
    // A documents folder that was never made is no place to propose: the dialog would fall back
    // to the working directory, which is the program's own folder when started from a menu.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return QDir(folder).filePath(ProposedTranscriptName(visitor, date) + QLatin1Char('.') + suffix);
}

void SetSaveFileDialogHook(SaveFileDialogHook hook) {
    SaveHook() = std::move(hook);
}

void SetPrintDialogHook(PrintDialogHook hook) {
    PrintHook() = std::move(hook);
}

int32_t SaveTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                 const QString& proposed, const TranscriptHeader& header) {
    const QString filter = QStringLiteral("Rich Text Format(*.rtf)");
    const QString suffix = QStringLiteral("rtf");
    const QString path =
        SaveHook() ? SaveHook()(parent, filter, suffix) : AskSavePath(parent, filter, suffix, proposed);
    if (path.isEmpty())
        return kTranscriptCancelled;
    // The document is read after the dialog, so lines that came in while it
    // was open are saved too.
    const RtfSaveResult result = SaveTranscriptRtf(*WithHeader(*view.document(), header), path);
    if (result.ok)
        return kTranscriptDone;
    ShowMessageBox(parent, result.errorText, QMessageBox::Warning);
    return kTranscriptFailed;
}

int32_t PrintTranscriptWithDialog(QWidget* parent, const TranscriptView& view,
                                  const QString& title, const TranscriptHeader& header) {
    QPrinter printer(QPrinter::HighResolution);
    // The name of the job in the print queue, the title of a PDF, and what
    // the dialog offers as the name of a PDF file.
    printer.setDocName(title);
    const bool accepted = PrintHook() ? PrintHook()(parent, printer) : AskPrinter(parent, printer);
    if (!accepted)
        return kTranscriptCancelled;
    const QMarginsF chosen = printer.pageLayout().margins(QPageLayout::Millimeter);
    printer.setPageMargins(QMarginsF(std::max(chosen.left(), kMinMarginMm),
                                     std::max(chosen.top(), kMinMarginMm),
                                     std::max(chosen.right(), kMinMarginMm),
                                     std::max(chosen.bottom(), kMinMarginMm)),
                           QPageLayout::Millimeter);
    if (PrintTranscript(*WithHeader(*view.document(), header), printer) >= 0)
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
