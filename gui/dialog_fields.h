#pragma once

#include <QString>

class QBoxLayout;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Pieces of the programs' settings dialogs.
namespace gui {

// A label that names `field` for the keyboard (its mnemonic) and for
// screen readers.
QLabel* LabelFor(QWidget* field, const QString& text, QWidget* parent);

// The "..." button beside a folder field: it opens the folder browser at
// the field's folder and puts the folder chosen into the field; nothing
// else of the dialog changes.
QPushButton* BrowseButton(QLineEdit* folderField, QWidget* parent);

// OK and Cancel at the foot of `dialog`'s `layout`: OK calls the dialog's
// accept(), which may refuse, and Cancel its reject().
void AddOkCancel(QDialog* dialog, QBoxLayout* layout);

// A dialog refuses OK because of `field`: a warning box that says why,
// and the field gets the focus with its text selected.
void RefuseField(QDialog* dialog, QLineEdit* field, const QString& message);

// A download folder as typed into a dialog, made absolute: a folder is
// always handed over whole, since a relative one would be taken from
// wherever the engine happens to run. "~" stands for the home folder.
QString AbsoluteFolder(const QString& typed);

}  // namespace gui
