#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QWebEngineView;

namespace olvex {

class HyperlinkLabel;

// Hosts the report browser. The web view is costly, so it is created when the host is
// first shown; a navigation asked for before then is kept and loaded at that moment.
// Where the desktop has no OpenGL the view draws in software; where its page cannot be
// shown at all (a crashed render process) the host shows the address as a link to open in
// the web browser, with a line saying why, and the next navigation tries the view again.
class CExplorer1 : public QWidget {
    Q_OBJECT

public:
    // Without embedBrowser no web view is ever created (tests, or no web engine at hand);
    // navigations are still remembered.
    explicit CExplorer1(bool embedBrowser = true, QWidget* parent = nullptr);

    void Navigate(const QString& url);
    // The page asked for last.
    const QString& LocationUrl() const { return location; }
    bool HasBrowser() const { return !view.isNull(); }
    // The page could not be shown: the link and the reason stand in for it.
    void ShowFallback(const QString& reason);
    bool ShowsFallback() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateView();
    void ShowView();
    void ShowLink();

    bool embedBrowser;
    QString location;
    QPointer<QWebEngineView> view;
    QWidget* fallback = nullptr;
    QLabel* reasonLine = nullptr;
    HyperlinkLabel* link = nullptr;
};

// The address as the operator may see it: the password in its query is masked.
QString ShownAddress(const QString& url);

} // namespace olvex
