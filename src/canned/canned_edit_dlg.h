#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace olvex {

// "Edit Canned Message": one answer's category, title and message. The fields
// hold the proposal going in and, after OK, what the operator entered.
class CCannedEditDlg : public QDialog {
    Q_OBJECT
public:
    CCannedEditDlg(QStringList categoryList, QString category, QString title, QString message,
                   QWidget* parent = nullptr);

    QStringList categoryList;
    QString category;
    QString title;
    QString message;

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* categoryBox_;
    QLineEdit* titleEdit_;
    QPlainTextEdit* messageEdit_;
    QPushButton* okButton_;
};

} // namespace olvex
