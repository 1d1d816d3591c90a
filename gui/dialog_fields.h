#pragma once

#include <QString>
#include <cstdint>

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

// A field for a whole number: it takes digits only, at most as many as
// the largest 32-bit number has.
QLineEdit* NumberField(std::uint32_t value, QWidget* parent);

// `field` with a note at its right, such as the range it takes, "(1–20)";
// for a grid cell of its own.
QWidget* WithNote(QLineEdit* field, const QString& note, QWidget* parent);
QString RangeNote(std::uint32_t least, std::uint32_t most);

// A dialog refuses OK because of `field`: a warning box that says why,
// and the field gets the focus with its text selected.
void RefuseField(QDialog* dialog, QLineEdit* field, const QString& message);

// A download folder as typed into a dialog, made absolute: a folder is
// always handed over whole, since a relative one would be taken from
// wherever the engine happens to run. "~" stands for the home folder.
QString AbsoluteFolder(const QString& typed);

// Makes sure downloads can be written into `folder`, an absolute one: it
// is created with its parents when missing, and must take new files. Gives
// nothing when it is fit, or else a sentence for the user that names the
// folder and says why and what to do; what it created for a folder that
// failed is taken away again.
QString PrepareDownloadFolder(const QString& folder);

}  // namespace gui
