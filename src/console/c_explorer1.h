#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QWebEngineView;

namespace olvex {

// Hosts the report browser. The web view is costly, so it is created when the host is
// first shown; a navigation asked for before then is kept and loaded at that moment.
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool embedBrowser;
    QString location;
    QPointer<QWebEngineView> view;
};

} // namespace olvex
