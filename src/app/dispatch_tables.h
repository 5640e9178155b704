#pragma once
#include <optional>
#include <string>
#include <vector>

#include "panes/pane_types.h"

namespace mdk {

// One item of the main menu; id 0 is a separator.
struct MenuItem {
    int id;
    const char* text;
};

struct MenuDefinition {
    const char* title;
    std::vector<MenuItem> items;
};

// The "&Command" popup, first submenu of "&File"; also the panes' context menu. Items
// are addressed by position: 0 Attribute, 1 View, 2 Edit, 5 NewFolder, 6 Delete.
const std::vector<MenuItem>& commandPopupItems();
// The main menu without the "&Command" popup (inserted first into "&File").
const std::vector<MenuDefinition>& mainMenus();

// A menu item that repeats a button becomes that button's id.
std::optional<int> buttonForMenuItem(int menuId);

// Positions of the "&Command" popup items that the availability table addresses.
inline constexpr int kPopupAttribute = 0;
inline constexpr int kPopupView = 1;
inline constexpr int kPopupEdit = 2;
inline constexpr int kPopupNewFolder = 5;
inline constexpr int kPopupDelete = 6;

// Buttons and popup items set when a pane's list reports something; ids not named stay
// as they are.
struct Availability {
    std::vector<int> enable;
    std::vector<int> disable;
    std::vector<int> popupEnable;
    std::vector<int> popupGrey;
};

Availability commandAvailability(Side side, LocationKind kind);

// The name of a command id for log lines ("F5 - Copy"); the id as text when unknown.
std::string commandName(int id);

}  // namespace mdk
