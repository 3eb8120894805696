// What the call window shows beside the chat itself: where the visitor is on the site, and
// their earlier chats from the history.
#include "agent_client.h"
#include "archive_reader.h"
#include "call_window.h"
#include "font_scaled.h"
#include "page_directory.h"
#include "transcript_archive.h"
#include "ui_event_pump.h"

#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace olvex {

namespace {

constexpr int kContextTimerMs = 1000;
constexpr int kEarlierViewHeight = 120;

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QLabel* ContextLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

QWidget* CallWindow::BuildContextPanel() {
    contextPanel = new QWidget(this);
    contextPanel->setObjectName(QStringLiteral("visitorContext"));
    auto* column = new QVBoxLayout(contextPanel);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(1);

    pageLabel = ContextLabel(QStringLiteral("visitorPage"), contextPanel);
    // Made by PageLinkHtml, which escapes what the server sent.
    pageLabel->setTextFormat(Qt::RichText);
    pageLabel->setOpenExternalLinks(true);
    pageLabel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    // A screen reader hears what a label shows, and what it is as its description.
    pageLabel->setAccessibleDescription(QStringLiteral("The visitor's page"));
    // Clicked, not in the Tab chain between the transcript and the input box.
    pageLabel->setFocusPolicy(Qt::ClickFocus);
    detailsLabel = ContextLabel(QStringLiteral("visitorDetails"), contextPanel);
    detailsLabel->setAccessibleDescription(QStringLiteral("About the visitor"));
    pageLabel->hide();
    detailsLabel->hide();

    auto* earlierRow = new QHBoxLayout;
    earlierLabel = ContextLabel(QStringLiteral("earlierChats"), contextPanel);
    earlierLabel->setAccessibleDescription(QStringLiteral("Earlier chats"));
    earlierToggle = new QToolButton(contextPanel);
    earlierToggle->setObjectName(QStringLiteral("earlierToggle"));
    earlierToggle->setCheckable(true);
    earlierToggle->setText(QStringLiteral("Show the last one"));
    earlierToggle->setFocusPolicy(Qt::TabFocus);
    earlierToggle->setAccessibleDescription(QStringLiteral("The last earlier chat"));
    earlierRow->addWidget(earlierLabel, 1);
    earlierRow->addWidget(earlierToggle);
    earlierView = new TranscriptView(contextPanel);
    earlierView->setObjectName(QStringLiteral("earlierTranscript"));
    earlierView->setAccessibleName(QStringLiteral("The last earlier chat"));
    earlierView->setFixedHeight(FontScaled(*earlierView, kEarlierViewHeight));
    connect(earlierToggle, &QToolButton::toggled, this, [this](bool open) {
        earlierView->setVisible(open);
        earlierToggle->setText(open ? QStringLiteral("Hide") : QStringLiteral("Show the last one"));
    });
    earlierLabel->hide();
    earlierToggle->hide();
    earlierView->hide();

    column->addWidget(pageLabel);
    column->addWidget(detailsLabel);
    column->addLayout(earlierRow);
    column->addWidget(earlierView);
    contextPanel->hide();
    return contextPanel;
}

void CallWindow::FollowVisitor(int32_t id, PagesLookup lookup) {
    visitorId = id;
    if (id <= 0)
        return;
    pagesLookup = lookup ? std::move(lookup) : [&engine = engine](int32_t visitor) {
        std::vector<PageRecord> pages;
        for (const auto& page : engine.Pages().Snapshot()) {
            if (page->visitorNumber == visitor)
                pages.push_back(*page);
        }
        return pages;
    };
    if (!contextTimer) {
        contextTimer = new QTimer(this);
        contextTimer->setInterval(kContextTimerMs);
        connect(contextTimer, &QTimer::timeout, this, &CallWindow::RefreshContext);
    }
    contextTimer->start();
    RefreshContext();
}

void CallWindow::RefreshContext() {
    if (!pagesLookup)
        return;
    const int64_t now = QDateTime::currentMSecsSinceEpoch();
    if (visitorTrail.Update(pagesLookup(visitorId), now)) {
        const PageRecord& page = *visitorTrail.Current();
        pageLabel->setText(PageLinkHtml(page.url, page.title));
        pageLabel->setToolTip(FromBytes(page.url));
        pageLabel->show();
        contextPanel->show();
    }
    if (!visitorTrail.Known())
        return;
    const PageRecord& page = *visitorTrail.Current();
    QStringList details;
    if (!page.referrer.empty())
        details << QStringLiteral("Came from %1").arg(FromBytes(page.referrer));
    // The directory knows no arrival times: counted from when this window first saw them.
    details << (visitorTrail.Left()
                    ? QStringLiteral("Has left the site")
                    : QStringLiteral("On the site for %1")
                          .arg(DurationText(now - visitorTrail.FirstSeenMs())));
    const int pages = visitorTrail.PagesSeen();
    details << (pages == 1 ? QStringLiteral("1 page seen") : QStringLiteral("%1 pages seen").arg(pages));
    detailsLabel->setText(details.join(QStringLiteral(" \u00B7 ")));
    detailsLabel->show();
}

// The history is read on a thread of its own; what it finds comes back to the window, if the
// window is still there.
void CallWindow::LookUpEarlierChats(const std::string& historyPath, const std::string& visitor) {
    if (historyPath.empty() || visitor.empty())
        return;
    const int64_t before = QDateTime::currentMSecsSinceEpoch();
    QPointer<CallWindow> self(this);
    earlierLookup = std::thread([self, historyPath, visitor, before] {
        ArchiveReader reader(historyPath);
        std::vector<ConversationSummary> earlier = reader.WithVisitor(visitor, before);
        std::vector<ArchivedLine> last;
        if (!earlier.empty())
            last = reader.Lines(earlier.front().id);
        PostToUiThread(self, [earlier = std::move(earlier),
                              last = std::move(last)](CallWindow& window) {
            window.ShowEarlierChats(earlier, last);
        });
    });
}

void CallWindow::ShowEarlierChats(const std::vector<ConversationSummary>& earlier,
                                  const std::vector<ArchivedLine>& lastLines) {
    if (earlier.empty())
        return;
    earlierLabel->setText(EarlierChatsText(earlier));
    earlierLabel->show();
    earlierToggle->show();
    ShowArchivedLines(*earlierView, lastLines);
    earlierView->moveCursor(QTextCursor::Start);
    contextPanel->show();
}

} // namespace olvex
