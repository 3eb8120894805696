#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>

namespace olvex {

// A label that works as a link: underlined text in link colours, a pointing-hand cursor,
// the target as tooltip, and a click that opens the target (a web address or a file name)
// in the user's default program.
class HyperlinkLabel : public QLabel {
    Q_OBJECT

public:
    // Results of OpenLink above this value mean success; lower ones are error codes.
    static constexpr int kOpenSucceeded = 33;

    explicit HyperlinkLabel(QWidget* parent = nullptr);
    explicit HyperlinkLabel(const QString& text, QWidget* parent = nullptr);

    // Call once the label has its text and place: an empty target takes the label's text,
    // an empty text shows the target. Sets the link look, the cursor and the tooltip.
    void Attach();
    void SetUrl(const QString& target);
    const QString& Url() const { return target; }
    // Shrinks the label to its text, keeping the edge its alignment names.
    void FitToText();

    void SetUnderline(bool on) { underline = on; }
    void SetFitToText(bool on) { fitToText = on; }
    void SetLinkColours(const QColor& link, const QColor& visited, const QColor& hover);

    bool IsVisited() const { return visited; }
    bool IsHovering() const { return hovering; }
    // The colour of the label's state: hover, visited or link.
    QColor CurrentColour() const;
    // That colour as drawn: moved in lightness where it would not read on the window behind.
    QColor ShownColour() const;

    // Opens the target and marks the label visited on success; reports a failure.
    void Click();

    // Opens a web address or a file in its default program; returns kOpenSucceeded or an
    // error code for ShowOpenError.
    static int OpenLink(const QString& target);
    static void ShowOpenError(QWidget* parent, int code);
    static QString OpenErrorText(int code);

    // Replaces the system opener (tests must never start a browser); empty restores it.
    using Opener = std::function<int(const QString& target)>;
    static void SetOpener(Opener opener);

protected:
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateColour();

    QString target;
    QColor linkColour{0, 0, 238};
    QColor visitedColour{85, 26, 139};
    // Invalid: the palette's highlight, whichever palette is current.
    QColor hoverColour;
    bool hovering = false;
    bool visited = false;
    bool underline = true;
    bool fitToText = true;
    bool attached = false;
};

} // namespace olvex
