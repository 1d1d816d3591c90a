#pragma once

#include <QComboBox>
#include <functional>
#include <string>

// The address bar's editable box with its list of history addresses.
//
// Enter in the edit field asks to go to the typed text. Picking an entry
// from the list (with the mouse, or Enter in the open list) asks to go to
// that entry. The arrow keys in the closed box step through the entries
// without going anywhere. The entry "selected" is the one last picked or
// stepped to, or the one whose text the program last put into the field;
// typing does not change it.
class CAddressBox final : public QComboBox {
 public:
  explicit CAddressBox(QWidget* parent = nullptr);

  std::function<void()> onGo;                   // Enter in the edit field
  std::function<void(int index)> onEntryPicked;  // an entry was picked from the list

  std::string Text() const;
  // The text of the selected entry; empty when none is selected.
  std::string SelectedEntryText() const;
  int SelectedEntry() const { return m_selected; }
  // Puts `text` into the edit field; the entry with exactly that text, if
  // any, becomes the selected one.
  void SetText(const std::string& text);
  void AppendEntry(const std::string& text);
  // Deletes every entry, from the last to the first.
  void DeleteEntries();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Step(int by);

  int m_selected = -1;
};
