#include "about_dialog.h"

#include "colour_label.h"
#include "console_images.h"
#include "data_files.h"
#include "hyperlink_label.h"
#include "log_file.h"
#include "product_info.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace olvex {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Olvex"));
    setWindowModality(Qt::WindowModal);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* version =
        new ColourLabel(QStringLiteral("%1 version %2")
                            .arg(QLatin1String(product::kName), QLatin1String(product::kVersion)),
                        this);
    version->setObjectName(QStringLiteral("version"));
    version->SetFont(QString(), 0, 0, true);
    auto* home = new HyperlinkLabel(QLatin1String(product::kHomePageUrl), this);
    home->setObjectName(QStringLiteral("homeLink"));
    auto* license = new HyperlinkLabel(QStringLiteral("License Agreement"), this);
    license->setObjectName(QStringLiteral("licenseLink"));
    license->SetUrl(DataFilePath(QStringLiteral("license.txt")));

    // Where the log lies, for a support request; selectable so that it can be copied.
    const LogFile* log = LogFile::Installed();
    QString logText = QStringLiteral("Log: ") + (log ? log->Path() : LogFile::DefaultPath());
    if (log && log->Failed())
        logText += QStringLiteral(" (cannot be written; the log goes to standard error)");
    auto* logPath = new QLabel(logText, this);
    logPath->setObjectName(QStringLiteral("logPath"));
    logPath->setTextFormat(Qt::PlainText);
    logPath->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AboutDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(home, 1, 1, Qt::AlignLeft);
    layout->addWidget(license, 2, 1, Qt::AlignLeft);
    layout->addWidget(logPath, 3, 0, 1, 2);
    layout->addWidget(buttons, 4, 0, 1, 2);
    layout->setHorizontalSpacing(16);
    home->Attach();
    license->Attach();
}

} // namespace olvex
