#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QRadioButton;

// A captioned group of radio buttons with one index: -1 while none is
// selected. An index beyond the last item selects the last; one below 0
// clears the selection.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
    int Count() const { return int(buttons_.buttons().size()); }

signals:
    // The user selected another item.
    void clicked(int index);

private:
    QButtonGroup buttons_;
};
