// The logic of the two small modal dialogs: the warning shown before the
// first search and the choice among several routers. The front ends draw
// them and report the user's answer into these models.
#pragma once

#include <string>
#include <vector>

namespace ramtune {

inline const char* const kWindowTitle = "QARV LM-7210A/LM-7210B DDR Configuration Upgrade Tool";

struct WarningDialogModel {
  static std::string Text1();
  static std::string Text2();
  static const char* Prompt() { return "Click yes to continue,click no to exit."; }

  bool Accepted = false;
  // Yes and No; Esc and the close box leave Accepted as it is.
  void OnYes() { Accepted = true; }
  void OnNo() { Accepted = false; }
};

struct SelectDeviceModel {
  static const char* Title() { return "Select Device"; }
  static const char* GroupTitle() { return "LM-7210A / LM-7210B"; }

  std::string IpList;      // addresses joined with ";", spaces removed
  int SelectedIndex = -1;  // -1: no choice
  // Routers found on more than one interface: the interface of each address,
  // in list order. Empty otherwise.
  std::vector<std::string> Interfaces;

  // Stores the list with every space deleted.
  void SetList(const std::string& list);
  // The ";"-separated pieces, empty ones kept, each followed by its
  // interface when the list names them; none for an empty list.
  std::vector<std::string> Items() const;
  // Initialisation: no choice yet; item 0 is preselected when there are items.
  int InitialSelection() const { return Items().empty() ? -1 : 0; }
  // OK with the combo box's current selection (-1 when nothing is selected).
  void OnOk(int currentSelection) { SelectedIndex = currentSelection; }
};

}  // namespace ramtune
