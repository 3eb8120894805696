#include "hyperlink_label.h"

#include "message_box.h"
#include "readable_colours.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QUrl>

namespace olvex {

namespace {

HyperlinkLabel::Opener& CustomOpener() {
    static HyperlinkLabel::Opener opener;
    return opener;
}

constexpr int kFileNotFound = 2;
constexpr int kNoAssociation = 31;

// A target with a scheme is a web address (or another URL); anything else is a file name,
// relative to the current directory.
QUrl TargetUrl(const QString& target) {
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}

int SystemOpen(const QString& target) {
    if (target.isEmpty())
        return kFileNotFound;
    const QUrl url = TargetUrl(target);
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
        return kFileNotFound;
    if (QDesktopServices::openUrl(url))
        return HyperlinkLabel::kOpenSucceeded;
    // An argument list, never a shell string: the target may hold anything.
    const QString argument = url.isLocalFile() ? url.toLocalFile() : url.toString();
    if (QProcess::startDetached(QStringLiteral("xdg-open"), {argument}))
        return HyperlinkLabel::kOpenSucceeded;
    return kNoAssociation;
}

} // namespace

HyperlinkLabel::HyperlinkLabel(QWidget* parent) : HyperlinkLabel(QString(), parent) {}

HyperlinkLabel::HyperlinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

void HyperlinkLabel::Attach() {
    if (target.isEmpty())
        target = text();
    if (text().isEmpty())
        setText(target);
    QFont linkFont = font();
    linkFont.setUnderline(underline);
    setFont(linkFont);
    attached = true;
    FitToText();
    setCursor(Qt::PointingHandCursor);
    setToolTip(target);
    UpdateColour();
}

void HyperlinkLabel::SetUrl(const QString& newTarget) {
    target = newTarget;
    if (attached) {
        FitToText();
        setToolTip(target);
    }
}

void HyperlinkLabel::SetLinkColours(const QColor& link, const QColor& visitedLink,
                                    const QColor& hover) {
    linkColour = link;
    visitedColour = visitedLink;
    hoverColour = hover;
    UpdateColour();
}

void HyperlinkLabel::FitToText() {
    if (!fitToText || !attached)
        return;
    const QSize textSize = QFontMetrics(font()).size(Qt::TextSingleLine, text());
    QRect rect = geometry();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignVCenter)
        rect.setTop(rect.top() + (rect.height() - textSize.height()) / 2);
    rect.setHeight(textSize.height());
    if (align & Qt::AlignHCenter)
        rect.setLeft(rect.left() + (rect.width() - textSize.width()) / 2);
    else if (align & Qt::AlignRight)
        rect.setLeft(rect.left() + rect.width() - textSize.width());
    rect.setWidth(textSize.width());
    // A fixed size also keeps layouts from stretching the clickable area past the text.
    setFixedSize(rect.size());
    setGeometry(rect);
}

QColor HyperlinkLabel::CurrentColour() const {
    if (hovering)
        return hoverColour.isValid() ? hoverColour : palette().color(QPalette::Highlight);
    return visited ? visitedColour : linkColour;
}

QColor HyperlinkLabel::ShownColour() const {
    // The label is transparent: what lies behind it is its window's colour, which the label's
    // palette still inherits (only the text colour is its own).
    return ReadableOn(CurrentColour(), palette().color(QPalette::Window));
}

void HyperlinkLabel::UpdateColour() {
    const QColor shown = ShownColour();
    if (palette().color(QPalette::WindowText) != shown) {
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, shown);
        setPalette(colours);
    }
    update();
}

void HyperlinkLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // A switch between light and dark windows: the link colours move with the background.
    // Setting our own palette sends this again; it then finds the colour in place.
    if (event->type() == QEvent::PaletteChange)
        UpdateColour();
    // A font given later (a style sheet's, the desktop's): underlined again and fitted to it.
    if (event->type() == QEvent::FontChange && attached) {
        if (font().underline() != underline) {
            QFont linkFont = font();
            linkFont.setUnderline(underline);
            setFont(linkFont);
        }
        FitToText();
    }
}

void HyperlinkLabel::Click() {
    const int result = OpenLink(target);
    visited = result > 32;
    UpdateColour();
    if (!visited) {
        QApplication::beep();
        ShowOpenError(this, result);
    }
}

int HyperlinkLabel::OpenLink(const QString& target) {
    if (CustomOpener())
        return CustomOpener()(target);
    return SystemOpen(target);
}

void HyperlinkLabel::SetOpener(Opener opener) {
    CustomOpener() = std::move(opener);
}

QString HyperlinkLabel::OpenErrorText(int code) {
    QString reason;
    switch (code) {
    case 0:
        reason = QStringLiteral("The operating system is out\nof memory or resources.");
        break;
    case 2:
        reason = QStringLiteral("The specified file was not found.");
        break;
    case 3:
        reason = QStringLiteral("The specified path was not found.");
        break;
    case 5:
        reason = QStringLiteral("The operating system denied\naccess to the specified file.");
        break;
    case 8:
        reason = QStringLiteral("There was not enough memory to complete the operation.");
        break;
    case 11:
        reason =
            QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        break;
    case 26:
        reason = QStringLiteral("A sharing violation occurred. ");
        break;
    case 27:
        reason = QStringLiteral("The filename association is\nincomplete or invalid.");
        break;
    case 28:
        reason = QStringLiteral(
            "The DDE transaction could not\nbe completed because the request timed out.");
        break;
    case 29:
        reason = QStringLiteral("The DDE transaction failed.");
        break;
    case 30:
        reason = QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                                "transactions\nwere being processed.");
        break;
    case 31:
        reason = QStringLiteral(
            "There is no application associated\nwith the given filename extension.");
        break;
    case 32:
        reason = QStringLiteral("The specified dynamic-link library was not found.");
        break;
    default:
        reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
        break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

void HyperlinkLabel::ShowOpenError(QWidget* parent, int code) {
    ShowMessageBox(parent, OpenErrorText(code), QMessageBox::Warning);
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    hovering = true;
    UpdateColour();
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    hovering = false;
    UpdateColour();
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Click();
}

} // namespace olvex
