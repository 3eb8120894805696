#pragma once

#include <QDialog>

namespace olvex {

// The program icon, its version, the home page and the licence.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace olvex
