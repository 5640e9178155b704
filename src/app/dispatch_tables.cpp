#include "app/dispatch_tables.h"

#include <map>

#include "app/control_ids.h"

namespace mdk {

using namespace ids;

const std::vector<MenuItem>& commandPopupItems() {
    static const std::vector<MenuItem> items = {
        {kMenuAttribute, "F2 - &Attribute"}, {kMenuView, "F3 - &View"},
        {kMenuEdit, "F4 - &Edit"},           {kMenuCopy, "F5 - &Copy"},
        {kMenuSeemFunc, "F6 - &SeemFunc"},   {kMenuNewFolder, "F7 - &NewFolder"},
        {kMenuDelete, "F8 - &Delete"},       {kMenuRestartPhone, "F9 - &Restart phone"},
    };
    return items;
}

const std::vector<MenuDefinition>& mainMenus() {
    static const std::vector<MenuDefinition> menus = {
        {"&File",
         {{kMenuAddFavourite, "Add favourite folder"},
          {kMenuDeleteFavourite, "Delete favourite folder"},
          {0, ""},
          {kMenuReconnect, "Re-Connect"},
          {kMenuAtMode, "Switch to AT mode"},
          {kMenuRestartApp, "Re-Start Mrdk"},
          {0, ""},
          {kMenuBackupPhone, "Backup phone…"},
          {kMenuRestorePhone, "Restore phone…"},
          {kMenuMount, "Mount phone as folder…"},
          {kMenuUnmount, "Unmount"},
          {0, ""},
          {kMenuExit, "E&xit"}}},
        {"&Seem",
         {{kMenuDiscoverNumbers, "&Discover numbers"},
          {kMenuSeemFunctions, "&Functions"},
          {kMenuCompareSeems, "Compare seems…"},
          {kMenuOldSeemDialog, "&Old dialog"}}},
        {"O&ptions", {{kMenuOptions, "&Options"}}},
        {"&Help", {{kMenuDiagnose, "Diagnose connection…"}, {kMenuAbout, "&About"}}},
    };
    return menus;
}

std::optional<int> buttonForMenuItem(int menuId) {
    static const std::map<int, int> buttons = {
        {kMenuAttribute, kAttributes},
        {kMenuView, kView},
        {kMenuEdit, kEdit},
        {kMenuCopy, kCopy},
        {kMenuSeemFunc, kSeemFunc},
        {kMenuNewFolder, kNewFolder},
        {kMenuDelete, kDelete},
    };
    auto found = buttons.find(menuId);
    if (found == buttons.end()) return std::nullopt;
    return found->second;
}

Availability commandAvailability(Side side, LocationKind kind) {
    if (side == Side::Left) {
        switch (kind) {
            case LocationKind::PhoneVolume:
                return {{kAttributes, kView, kNewFolder, kDelete},
                        {},
                        {kPopupAttribute, kPopupNewFolder, kPopupDelete},
                        {kPopupView}};
            case LocationKind::SeemFolder:
                return {{}, {kNewFolder, kDelete}, {}, {kPopupNewFolder, kPopupDelete}};
            case LocationKind::Pc:
                return {{kView, kNewFolder, kEdit},
                        {kAttributes},
                        {kPopupView, kPopupNewFolder, kPopupDelete},
                        {kPopupAttribute}};
        }
    }
    if (kind == LocationKind::PhoneVolume) {
        return {{kAttributes, kView}, {kEdit}, {kPopupAttribute}, {kPopupView, kPopupEdit}};
    }
    return {{kView, kEdit}, {kAttributes}, {kPopupView, kPopupEdit}, {kPopupAttribute}};
}

std::string commandName(int id) {
    static const std::map<int, std::string> names = {
        {kAttributes, "F2 - Attribute"},
        {kView, "F3 - View"},
        {kEdit, "F4 - Edit"},
        {kCopy, "F5 - Copy"},
        {kSeemFunc, "F6 - SeemFunc"},
        {kNewFolder, "F7 - NewFolder"},
        {kDelete, "F8 - Delete"},
        {kRestart, "F9 - Restart phone"},
        {kMenuRestartPhone, "F9 - Restart phone"},
        {kMenuAtMode, "Switch to AT mode"},
        {kMenuAddFavourite, "Add favourite folder"},
        {kMenuDeleteFavourite, "Delete favourite folder"},
        {kMenuReconnect, "Re-Connect"},
        {kMenuRestartApp, "Re-Start Mrdk"},
        {kMenuExit, "Exit"},
        {kExitKey, "Exit"},
        {kMenuDiscoverNumbers, "Discover numbers"},
        {kMenuSeemFunctions, "Seem functions"},
        {kMenuOldSeemDialog, "Seem manager"},
        {kMenuCompareSeems, "Compare seems"},
        {kMenuMount, "Mount phone as folder"},
        {kMenuUnmount, "Unmount"},
        {kMenuOptions, "Options"},
        {kMenuAbout, "About"},
        {kMenuDiagnose, "Diagnose connection"},
        {kTesterKey, "USB I/O command tester"},
        {kLeftReread, "Re-read left pane"},
        {kRightReread, "Re-read right pane"},
    };
    auto found = names.find(id);
    return found == names.end() ? std::to_string(id) : found->second;
}

}  // namespace mdk
