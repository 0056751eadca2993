#pragma once
#include "platform/gui.h"

// Every window, control and menu item of the program. Built once at start-up
// (BuildWindows) and kept for the whole run; null until then.
namespace bg {

class TTab;

extern Gadget* gMainWindow;
extern Gadget* gCan;
extern Gadget* gCanScore;
extern Gadget* gHScroll;
extern Gadget* gVScroll;

extern Gadget* gOptionWindow;
extern Gadget* gOptionWrap;
extern Gadget* gOptionWrapTag;
extern Gadget* gOptionSound;
extern Gadget* gOptionSoundTag;
extern Gadget* gOptionBombL;
extern Gadget* gOptionBombLTag;
extern Gadget* gOptionPan;
extern Gadget* gOptionPanTag;
extern Gadget* gOptionInvert;
extern Gadget* gOptionInvertTag;
extern Gadget* gOptionWidth;
extern Gadget* gOptionWidthTag;
extern Gadget* gOptionHeight;
extern Gadget* gOptionHeightTag;
extern Gadget* gOptionMines;
extern Gadget* gOptionMinesTag;
extern Gadget* gOptionOK;
extern Gadget* gOptionCancel;

extern Gadget* gMultiWindow;
extern Gadget* gMultiTabber;
extern TTab* TabSettings;
extern TTab* TabDirect;
extern TTab* TabServers;
extern TTab* TabChat;
extern Gadget* gSettingsColor;
extern Gadget* gSettingsColbox;
extern Gadget* gSettingsName;
extern Gadget* gSettingsNameTag;
extern Gadget* gDirectIP;
extern Gadget* gDirectIPTag;
extern Gadget* gDirectPort;
extern Gadget* gDirectPortTag;
extern Gadget* gDirectConnect;
extern Gadget* gDirectHost;
extern Gadget* gDisconnect;
extern Gadget* gServerList;
extern Gadget* gServerRefresh;
extern Gadget* gServerJoin;
extern Gadget* gServerHost;
extern Gadget* gChatConsole;
extern Gadget* gChatInp;
extern Gadget* gChatSend;
extern Gadget* gChatPList;

extern Gadget* gAboutWindow;
extern Gadget* gAboutText;
extern Gadget* gWinWindow;
extern Gadget* gWinText;
extern Gadget* gWinTextTime;

extern Gadget* menu_game;
extern Gadget* menu_game_new;
extern Gadget* menu_game_ratio;
extern Gadget* menu_game_options;
extern Gadget* menu_game_theme;
extern Gadget* menu_game_exit;
extern Gadget* menu_help;
extern Gadget* menu_help_about;
extern Gadget* menu_multiplayer_parent;
extern Gadget* menu_multiplayer;
extern Gadget* menu_player;
extern Gadget* menu_player_slap;
extern Gadget* menu_player_kick;

}  // namespace bg
