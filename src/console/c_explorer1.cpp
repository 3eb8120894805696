#include "c_explorer1.h"

#include "reports_url.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace olvex {

CExplorer1::CExplorer1(bool embed, QWidget* parent)
    : QWidget(parent), embedBrowser(embed), location(QString::fromLatin1(kBlankPage)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CExplorer1::Navigate(const QString& url) {
    location = url;
    if (view)
        view->setUrl(QUrl(location));
}

void CExplorer1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (view || !embedBrowser)
        return;
    view = new QWebEngineView(this);
    layout()->addWidget(view);
    view->setUrl(QUrl(location));
}

} // namespace olvex
