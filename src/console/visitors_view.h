#pragma once

#include <QLineEdit>
#include <QWidget>

namespace olvex {

class PageListView;

// The visitors view: a field that finds visitors as the operator types, above the page list.
// Ctrl+F goes to the field while the view is shown; Escape empties it.
class VisitorsView : public QWidget {
    Q_OBJECT

public:
    explicit VisitorsView(QWidget* parent = nullptr);

    PageListView& List() { return *list; }
    QLineEdit& FindField() { return *field; }

private:
    QLineEdit* field;
    PageListView* list;
};

} // namespace olvex
