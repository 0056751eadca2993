#include "app/windows.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/record_windows.h"
#include "minefield/players.h"
#include "net/message.h"
#include "render/scale.h"

namespace bg {

std::vector<TTab*> TTab::Tabs;

TTab* TTab::Create(Gadget* parent, int32_t num) {
  // Pages live for the whole run, like the gadgets they group.
  static std::vector<std::unique_ptr<TTab>> owned;
  owned.push_back(std::make_unique<TTab>());
  TTab* t = owned.back().get();
  t->parent = parent;
  t->num = num;
  Tabs.push_back(t);
  return t;
}

void TTab::Show() {
  for (Gadget* g : gadgets) {
    TheGui().Show(g);
    TheGui().Enable(g);
  }
}

void TTab::Hide() {
  for (Gadget* g : gadgets) {
    TheGui().Hide(g);
    TheGui().Disable(g);
  }
}

void TTab::DoTab(Gadget* parent, int32_t num) {
  for (TTab* t : Tabs) {
    t->Hide();
    if (t->parent == parent && t->num == num) t->Show();
  }
}

int32_t IntFilter(const Event& ev) {
  if (ev.id != EVENT_KEYCHAR) return 1;
  return (ev.data >= 48 && ev.data <= 57) || ev.data == 8 ? 1 : 0;
}

Gadget* CreateNumberField(int x, int y, int w, int h, Gadget* parent, bool integer) {
  Gadget* g = TheGui().CreateTextField(x, y, w, h, parent, 0);
  if (integer) TheGui().SetFilter(g, IntFilter);
  return g;
}

double NumberFieldNumber(Gadget* field) { return std::strtod(TheGui().Text(field).c_str(), nullptr); }

int32_t NumberFieldInt(Gadget* field) {
  const double v = NumberFieldNumber(field);
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

namespace {

Gadget* Label(const char* text, int x, int y, int w, int h, Gadget* parent) {
  return TheGui().CreateLabel(text, x, y, w, h, parent, LABEL_LEFT);
}
Gadget* Check(const char* text, int x, int y, Gadget* parent) {
  return TheGui().CreateButton(text, x, y, 14, 14, parent, BUTTON_CHECKBOX);
}
void Layout(Gadget* g, bool l, bool r, bool t, bool b) { TheGui().SetLayout(g, l, r, t, b); }

// Labels in a column with a field beside each: a label widens to its text and
// every field of the column moves right just as far as the widest label needs.
void FitLabelColumn(std::initializer_list<std::pair<Gadget*, Gadget*>> rows) {
  Gui& gui = TheGui();
  int shift = 0;
  for (auto [label, field] : rows) shift = std::max(shift, gui.X(label) + gui.TextWidth(label) + 2 - gui.X(field));
  for (auto [label, field] : rows) {
    gui.SetShape(label, gui.X(label), gui.Y(label), std::max(gui.Width(label), gui.TextWidth(label)), gui.Height(label));
    if (shift > 0) gui.SetShape(field, gui.X(field) + shift, gui.Y(field), gui.Width(field), gui.Height(field));
  }
}

}  // namespace

void PlaceWinWindow() {
  Gui& gui = TheGui();
  constexpr int kLeft = 40, kOuterW = 200;  // the described label edge and window width
  const int frameW = gui.Width(gWinWindow) - gui.ClientWidth(gWinWindow);
  const int screenW = gui.DesktopWidth(), screenH = gui.DesktopHeight();
  int outerW = kOuterW, labelW1 = 90, labelW2 = 150;
  if (gui.TextWidth(gWinText) > labelW1 || gui.TextWidth(gWinTextTime) > labelW2) {
    const int textW = std::max(gui.TextWidth(gWinText), gui.TextWidth(gWinTextTime));
    // Margins on both sides alike when the window has to grow.
    if (kLeft + textW > kOuterW - frameW) outerW = 2 * kLeft + textW + frameW;
    if (screenW > 0) outerW = std::max(kOuterW, std::min(outerW, screenW));
    labelW1 = labelW2 = outerW - frameW - kLeft;
  }
  const int h = gui.Height(gWinWindow);
  int x = gui.X(gMainWindow) + 30, y = gui.Y(gMainWindow) + 30;
  if (screenW > 0) x = std::max(0, std::min(x, screenW - outerW));
  if (screenH > 0) y = std::max(0, std::min(y, screenH - h));
  gui.SetShape(gWinWindow, x, y, outerW, h);
  // After the window: resizing it moves labels that hold no edge.
  gui.SetShape(gWinText, kLeft, 10, labelW1, 15);
  gui.SetShape(gWinTextTime, kLeft, 30, labelW2, 15);
}

bool BuildWindows() {
  Gui& gui = TheGui();

  gMainWindow = gui.CreateWindow("Blastgrid", 40, 40, 270, 320, nullptr,
                                 WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_MENU | WINDOW_CLIENTCOORDS);
  if (!gMainWindow) return false;
  gui.Hide(gMainWindow);
  gui.SetMinWindowSize(gMainWindow, 250, 270);

  gOptionWindow = gui.CreateWindow("Options", 50, 50, 260, 320, gMainWindow, WINDOW_TITLEBAR);
  gui.Hide(gOptionWindow);
  gOptionWrap = Check("Wrap Minefield", 30, 140, gOptionWindow);
  gOptionWrapTag = Label("Wrap Minefield", 44, 140, 100, 20, gOptionWindow);
  gOptionSound = Check("Sound", 30, 160, gOptionWindow);
  gOptionSoundTag = Label("Sound", 44, 160, 100, 20, gOptionWindow);
  gOptionBombL = Check("LBombs", 30, 180, gOptionWindow);
  gOptionBombLTag = Label("Lethal Bombs", 44, 180, 100, 20, gOptionWindow);
  gOptionPan = Check("Pan", 30, 200, gOptionWindow);
  gOptionPanTag = Label("Allow Pan", 44, 200, 100, 20, gOptionWindow);
  gOptionInvert = Check("Invert Arrows", 30, 220, gOptionWindow);
  gOptionInvertTag = Label("Invert Arrows", 44, 220, 100, 20, gOptionWindow);
  gOptionWidth = CreateNumberField(100, 30, 120, 22, gOptionWindow, 1);
  gOptionWidthTag = Label("Width:", 30, 30, 70, 20, gOptionWindow);
  gOptionHeight = CreateNumberField(100, 60, 120, 22, gOptionWindow, 1);
  gOptionHeightTag = Label("Height:", 30, 60, 70, 20, gOptionWindow);
  gOptionMines = CreateNumberField(100, 90, 120, 22, gOptionWindow, 1);
  gOptionMinesTag = Label("Mines:", 30, 90, 70, 20, gOptionWindow);
  gOptionOK = gui.CreateButton("Ok", 60, 250, 80, 30, gOptionWindow, BUTTON_OK);
  gOptionCancel = gui.CreateButton("Cancel", 155, 250, 80, 30, gOptionWindow, BUTTON_CANCEL);

  gMultiWindow = gui.CreateWindow("Blastgrid Multiplayer", 400, 60, 350, 290, gMainWindow,
                                  WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_STATUS);
  gui.Hide(gMultiWindow);
  gui.SetStatusText(gMultiWindow, "Not connected");
  gui.SetMinWindowSize(gMultiWindow, 350, 290);
  gMultiTabber = gui.CreateTabber(0, 0, gui.ClientWidth(gMultiWindow), gui.ClientHeight(gMultiWindow), gMultiWindow);
  Layout(gMultiTabber, true, true, true, true);
  for (const char* tab : {"Settings", "Direct Connect", "Server list", "Chat / Console"}) gui.AddItem(gMultiTabber, tab);
  // A tab row wider than the window would hide tabs behind scroll arrows: the window grows to fit it.
  if (const int over = gui.TextWidth(gMultiTabber) - gui.ClientWidth(gMultiTabber); over > 0) {
    const int w = gui.Width(gMultiWindow) + over;
    gui.SetShape(gMultiWindow, gui.X(gMultiWindow), gui.Y(gMultiWindow), w, gui.Height(gMultiWindow));
    gui.SetMinWindowSize(gMultiWindow, w, 290);
  }
  const int W = gui.ClientWidth(gMultiTabber), H = gui.ClientHeight(gMultiTabber);

  TabSettings = TTab::Create(gMultiTabber, 0);
  gSettingsColor = gui.CreateButton("Colour", 70, 40, 80, 30, gMultiTabber, BUTTON_PUSH);
  gSettingsColbox = gui.CreatePanel(200, 40, 40, 40, gMultiTabber);
  gSettingsName = gui.CreateTextField(100, 15, 120, 22, gMultiTabber);
  // What is typed here is all that goes out: every reader takes it whole.
  gui.SetMaxLength(gSettingsName, int(kMaxNameChars));
  gSettingsNameTag = Label("Name:", 30, 15, 70, 20, gMultiTabber);
  gui.SetPanelColor(gSettingsColbox, Colour{color[0], color[1], color[2]});
  FitLabelColumn({{gSettingsNameTag, gSettingsName}});
  for (Gadget* g : {gSettingsColor, gSettingsColbox, gSettingsName, gSettingsNameTag}) TabSettings->AddGadget(g);

  TabDirect = TTab::Create(gMultiTabber, 1);
  gDirectIP = gui.CreateTextField(70, 30, 200, 22, gMultiTabber);
  gDirectIPTag = Label("Server IP", 8, 30, 60, 30, gMultiTabber);
  gDirectPort = CreateNumberField(70, 60, 200, 22, gMultiTabber, 1);
  gDirectPortTag = Label("Server Port", 8, 60, 60, 40, gMultiTabber);
  gDirectConnect = gui.CreateButton("Connect", 10, 100, 80, 30, gMultiTabber, BUTTON_PUSH);
  gDirectHost = gui.CreateButton("Host", 100, 100, 80, 30, gMultiTabber, BUTTON_PUSH);
  gDisconnect = gui.CreateButton("Disconnect", 190, 100, 80, 30, gMultiTabber, BUTTON_PUSH);
  FitLabelColumn({{gDirectIPTag, gDirectIP}, {gDirectPortTag, gDirectPort}});
  for (Gadget* g : {gDirectIP, gDirectPort, gDirectConnect, gDisconnect, gDirectHost, gDirectIPTag, gDirectPortTag})
    TabDirect->AddGadget(g);

  TabServers = TTab::Create(gMultiTabber, 2);
  gServerList = gui.CreateListBox(0, 0, W, H - 60, gMultiTabber);
  Layout(gServerList, true, true, true, true);
  gServerRefresh = gui.CreateButton("Refresh", 10, H - 40, 80, 30, gMultiTabber, BUTTON_PUSH);
  Layout(gServerRefresh, true, false, false, true);
  gServerJoin = gui.CreateButton("Join", 100, H - 40, 80, 30, gMultiTabber, BUTTON_PUSH);
  Layout(gServerJoin, true, false, false, true);
  gServerHost = gui.CreateButton("Host + broadcast", 190, H - 40, 120, 30, gMultiTabber, BUTTON_PUSH);
  Layout(gServerHost, true, false, false, true);
  for (Gadget* g : {gServerList, gServerRefresh, gServerJoin, gServerHost}) TabServers->AddGadget(g);

  TabChat = TTab::Create(gMultiTabber, 3);
  gChatConsole = gui.CreateTextArea(0, 0, W - 100, H - 25, gMultiTabber, TEXTAREA_READONLY);
  Layout(gChatConsole, true, true, true, true);
  gChatInp = gui.CreateTextField(0, H - 24, W - 60, 24, gMultiTabber);
  gui.SetMaxLength(gChatInp, int(kMaxChatChars));
  Layout(gChatInp, true, true, false, true);
  gChatSend = gui.CreateButton("Send", W - 60, H - 24, 60, 24, gMultiTabber, BUTTON_OK);
  Layout(gChatSend, false, true, false, true);
  gChatPList = gui.CreateListBox(W - 100, 0, 100, H - 25, gMultiTabber);
  Layout(gChatPList, false, true, true, true);
  menu_player = gui.CreateMenu("Player", 0, nullptr);
  menu_player_slap = gui.CreateMenu("Slap!", 1, menu_player);
  menu_player_kick = gui.CreateMenu("Kick", 2, menu_player);
  for (Gadget* g : {gChatConsole, gChatInp, gChatSend, gChatPList}) TabChat->AddGadget(g);

  TTab::DoTab(gMultiTabber, 0);

  gAboutWindow = gui.CreateWindow("About", 100, 100, 200, 100, gMainWindow, WINDOW_TITLEBAR | WINDOW_TOOL);
  gui.Hide(gAboutWindow);
  gAboutText = Label("Blastgrid\nA mine-clearing game for one or many.", 10, 10, 180, 60, gAboutWindow);

  ShowOptions(gOptions);

  gWinWindow = gui.CreateWindow("Congratulations", 100, 100, 200, 100, gMainWindow, WINDOW_TITLEBAR);
  gui.Hide(gWinWindow);
  gWinText = Label("You have won!", 40, 10, 90, 15, gWinWindow);
  gWinTextTime = Label("Time Taken: ", 40, 30, 150, 15, gWinWindow);

  const int CW = gui.ClientWidth(gMainWindow), CH = gui.ClientHeight(gMainWindow);
  gCan = gui.CreateCanvas(0, Scale::TopbarSize, CW - Scale::ScrollSize, CH - Scale::TopbarSize - Scale::ScrollSize, gMainWindow);
  Layout(gCan, true, true, true, true);
  gCanScore = gui.CreateCanvas(0, 0, CW, Scale::TopbarSize, gMainWindow);
  Layout(gCanScore, true, true, true, false);
  gHScroll = gui.CreateSlider(0, CH - Scale::ScrollSize, CW - Scale::ScrollSize, Scale::ScrollSize, gMainWindow,
                              SLIDER_HORIZONTAL | SLIDER_SCROLLBAR);
  Layout(gHScroll, true, true, false, true);
  gVScroll = gui.CreateSlider(CW - Scale::ScrollSize, Scale::TopbarSize, Scale::ScrollSize, CH - Scale::ScrollSize - Scale::TopbarSize, gMainWindow,
                              SLIDER_VERTICAL | SLIDER_SCROLLBAR);
  Layout(gVScroll, false, true, true, true);

  menu_game = gui.CreateMenu("Game", 0, gMainWindow);
  menu_game_new = gui.CreateMenu("New Game", 0, menu_game, KEY_F2);
  menu_game_ratio = gui.CreateMenu("Reset Window Ratio", 1, menu_game, KEY_F5);
  menu_game_options = gui.CreateMenu("Options", 2, menu_game, KEY_F6);
  menu_game_theme = gui.CreateMenu("Change Background", 2, menu_game, KEY_F7);
  BuildRecordMenus(menu_game);
  menu_game_exit = gui.CreateMenu("Exit", 3, menu_game);
  menu_help = gui.CreateMenu("Help", 1, gMainWindow);
  menu_help_about = gui.CreateMenu("About", 0, menu_help, KEY_F1);
  menu_multiplayer_parent = gui.CreateMenu("Multiplayer", 2, gMainWindow);
  menu_multiplayer = gui.CreateMenu("Open Multiplayer Window", 2, menu_multiplayer_parent);
  gui.UpdateWindowMenu(gMainWindow);
  return true;
}

void ApplyCanvasScale() {
  if (!gCan) return;
  Gui& gui = TheGui();
  const int cw = gui.Width(gCan), ch = gui.Height(gCan);
  ScaleToCanvas(gView.scale, cw, ch);
  if (gHScroll) gui.SetSliderRange(gHScroll, cw, int(gView.scale.DEFWIDTH * gView.scale.SCALEX));
  if (gVScroll) gui.SetSliderRange(gVScroll, ch, int(gView.scale.DEFHEIGHT * gView.scale.SCALEY));
  gView.scale.OriginX = gHScroll ? -float(gui.SliderPos(gHScroll)) : 0.0f;
  gView.scale.OriginY = gVScroll ? -float(gui.SliderPos(gVScroll)) : 0.0f;
}

void WindowSetToRatio(float width) {
  if (!gMainWindow || !gCan) return;
  Gui& gui = TheGui();
  const int dw = gui.DesktopWidth(), dh = gui.DesktopHeight();
  const int ww = gui.Width(gMainWindow), wh = gui.Height(gMainWindow);
  const int cw = gui.Width(gCan), ch = gui.Height(gCan);
  const int maxw = dw - (ww - cw);
  width = std::min(width, float(maxw));
  const int maxh = dh - dh / 16 - (wh - ch) + Scale::TopbarSize;
  const int neww = int(width + float(ww - cw));
  const int x = gui.X(gMainWindow), y = gui.Y(gMainWindow);
  // Guard the ratio: a zero gView.scale.winr would divide by zero before the first game.
  const float r = gView.scale.winr > 0.0f ? gView.scale.winr : 1.0f;
  if (width > -1.0f) {
    gui.SetShape(gMainWindow, x, y, std::min(neww, maxw), int(std::min(float(neww) / r + float(Scale::TopbarSize), float(maxh))));
  } else {
    gui.SetShape(gMainWindow, x, y, std::min(ww, maxw), int(std::min(float(ww) / r + float(Scale::TopbarSize), float(maxh))));
  }
  ApplyCanvasScale();
}

}  // namespace bg
