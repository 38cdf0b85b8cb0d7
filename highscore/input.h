#ifndef INPUT_H
#define INPUT_H

#include <QDialog>

class QLabel;
class QLineEdit;

// The name-entry form: a congratulation above a single line edit, no buttons.
// Return accepts. The slot that receives the text is implemented by inputImpl.
class input : public QDialog
{
    Q_OBJECT

public:
    explicit input(QWidget* parent = nullptr, const char* name = nullptr, bool modal = false, Qt::WindowFlags fl = {});
    ~input() override;

    QLineEdit* LineEdit1 = nullptr;
    QLabel* TextLabel1 = nullptr;

public slots:
    virtual void setName(const QString&);

protected:
    bool event(QEvent* e) override;

private:
    void applyLabelFont();
};

#endif
