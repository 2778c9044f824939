#pragma once
// What data exchange needs of a dialog: its controls, by id.

class QWidget;

class DialogControls
{
public:
    // The control with this id; nullptr when the dialog has none.
    virtual QWidget *GetDlgItem(int id) const = 0;

protected:
    ~DialogControls() = default;
};
