#include "c_explorer1.h"

#include "hyperlink_label.h"
#include "log_categories.h"
#include "reports_url.h"

#include <QLabel>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QStackedLayout>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <utility>

namespace olvex {

namespace {

// The web view draws through Qt Quick, which cannot start without a graphics API; without
// OpenGL it must be told to draw in software before the first view exists.
void ChooseRendering() {
    static bool chosen = false;
    if (std::exchange(chosen, true))
        return;
    QOpenGLContext probe;
    if (probe.create())
        return;
    qCInfo(lcConsole) << "no OpenGL: the report browser draws in software";
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace

QString ShownAddress(const QString& url) {
    QUrl shown(url);
    QUrlQuery query(shown);
    if (!query.hasQueryItem(QStringLiteral("password")))
        return url;
    query.removeAllQueryItems(QStringLiteral("password"));
    query.addQueryItem(QStringLiteral("password"), QStringLiteral("***"));
    shown.setQuery(query);
    return shown.toString();
}

CExplorer1::CExplorer1(bool embed, QWidget* parent)
    : QWidget(parent), embedBrowser(embed), location(QString::fromLatin1(kBlankPage)) {
    auto* layout = new QStackedLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Until the view exists.
    layout->addWidget(new QWidget(this));

    fallback = new QWidget(this);
    fallback->setObjectName(QStringLiteral("reportFallback"));
    auto* column = new QVBoxLayout(fallback);
    reasonLine = new QLabel(fallback);
    reasonLine->setObjectName(QStringLiteral("reportFallbackReason"));
    reasonLine->setTextFormat(Qt::PlainText);
    reasonLine->setWordWrap(true);
    link = new HyperlinkLabel(fallback);
    link->setObjectName(QStringLiteral("reportFallbackLink"));
    link->setTextFormat(Qt::PlainText);
    reasonLine->setAlignment(Qt::AlignCenter);
    column->addStretch(1);
    column->addWidget(reasonLine);
    column->addWidget(link, 0, Qt::AlignHCenter);
    column->addStretch(2);
    layout->addWidget(fallback);
}

void CExplorer1::Navigate(const QString& url) {
    location = url;
    if (ShowsFallback() && view) {
        // A new page is a new try for the view: its render process starts again.
        ShowView();
    } else if (ShowsFallback()) {
        ShowLink();
    }
    if (view)
        view->setUrl(QUrl(location));
}

void CExplorer1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (view || !embedBrowser)
        return;
    CreateView();
}

void CExplorer1::CreateView() {
    ChooseRendering();
    view = new QWebEngineView(this);
    static_cast<QStackedLayout*>(layout())->addWidget(view);
    connect(view->page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                qCWarning(lcConsole) << "report browser: the render process ended with status"
                                     << int(status) << "code" << code << "; the link stands in";
                ShowFallback(QStringLiteral(
                    "The reports cannot be shown here: the page's renderer stopped."));
            });
    ShowView();
    view->setUrl(QUrl(location));
}

void CExplorer1::ShowView() {
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(view);
}

void CExplorer1::ShowFallback(const QString& reason) {
    reasonLine->setText(reason);
    ShowLink();
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(fallback);
}

void CExplorer1::ShowLink() {
    link->setText(ShownAddress(location));
    link->SetUrl(location);
    link->setVisible(location != QLatin1String(kBlankPage));
}

bool CExplorer1::ShowsFallback() const {
    return static_cast<QStackedLayout*>(layout())->currentWidget() == fallback;
}

} // namespace olvex
