#include "app/hook.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "app/gadgets.h"
#include "app/globals.h"
#include "app/presenter.h"
#include "app/record_windows.h"
#include "app/windows.h"
#include "minefield/game.h"
#include "minefield/players.h"
#include "net/host.h"
#include "net/net.h"
#include "net/protocol.h"
#include "net/serverlist.h"
#include "platform/clock.h"
#include "platform/gfx.h"
#include "platform/ready.h"
#include "render/background.h"
#include "render/board.h"
#include "render/scale.h"

namespace bg {

namespace {

// When the last chat line was sent: the input keeps the focus for a moment after.
int32_t ChatOKTimer = 0;

Gui& gui() { return TheGui(); }

// Seconds since the last tick: after a stall the clock catches up at once.
float FrameSeconds() {
  const int32_t now = MilliSecs();
  const float dt = float(now - gView.lastFrame) * 0.001f;
  gView.lastFrame = now;
  return dt;
}

void CloseModal(Gadget* window) {
  gui().Hide(window);
  gui().Enable(gMainWindow);
  gui().Enable(gCan);
  gui().Activate(gCan);
}

void ShowModal(Gadget* window) {
  gui().Show(window);
  gui().Disable(gMainWindow);
  gui().Disable(gCan);
  gui().Activate(window);
}

void HostGame(bool broadcast) {
  const int32_t port = gDirectPort ? NumberFieldInt(gDirectPort) : 0;
  if (Host(gGame, broadcast, port, HostedGameOptions(gOptions), Me())) ShowChatPage();
}

void OptionsOk() {
  const Options next = OptionsFromWindow(gOptions);
  if (!OptionsValid(next)) return;
  gOptions = next;
  CloseModal(gOptionWindow);
  for (const OptionDecl& d : kOptions)
    if (d.onOk) StoreOption(ini, d, gOptions);
  ini.Save(1);
}

void PickColour() {
  const Colour c = gui().RequestColor(Colour{color[0], color[1], color[2]});
  color = {c.r, c.g, c.b};
  gui().SetPanelColor(gSettingsColbox, c);
  if (TNet::MyId >= 0) SendColour(color);
}

void GadgetAction(const Event& ev) {
  Gadget* s = ev.source;
  if (s == gHScroll) {
    gView.scale.OriginX = -float(ev.data);
  } else if (s == gVScroll) {
    gView.scale.OriginY = -float(ev.data);
  } else if (s == gServerRefresh) {
    ServerListRefresh();
  } else if (s == gServerJoin) {
    const int row = gui().SelectedItem(gServerList);
    if (row != -1) JoinListedGame(gGame, gui().ItemExtra(gServerList, row));
  } else if (s == gServerList) {
    JoinListedGame(gGame, ev.extra);
  } else if (s == gChatSend) {
    const std::string text = gui().Text(gChatInp);
    if (!text.empty()) {
      SendChat(text);
      gui().SetText(gChatInp, "");
      ChatOKTimer = MilliSecs();
      gui().Activate(gChatInp);
    }
  } else if (s == gSettingsColor) {
    PickColour();
  } else if (s == gOptionOK) {
    OptionsOk();
  } else if (s == gOptionSound) {
    gOptions.oSound = gui().ButtonState(gOptionSound);
  } else if (s == gOptionCancel) {
    CloseModal(gOptionWindow);
  } else if (s == gSettingsName) {
    gOptions.oName = gui().Text(gSettingsName);
    StoreOption(ini, Option("Name"), gOptions);
    ini.Save(1);
  } else if (s == gMultiTabber) {
    TTab::DoTab(gMultiTabber, ev.data);
  } else if (s == gDirectConnect) {
    ConnectTo(gGame, gui().Text(gDirectIP), NumberFieldInt(gDirectPort));
  } else if (s == gServerHost) {
    HostGame(true);
  } else if (s == gDirectHost) {
    HostGame(false);
  } else if (s == gDisconnect) {
    DisconnectAll(gGame);
  }
}

void MenuAction(const Event& ev) {
  Gadget* s = ev.source;
  if (s == menu_game_new) {
    if (TNet::NetStatus == NET_OFF) NewGame(gOptions.oWidth, gOptions.oHeight, gOptions.oMines, -1, 0.0f, -1);
    if (TNet::NetStatus == NET_HOSTING) SendGame(HostedGameOptions(gOptions));
    gView.back.firstgame = false;
    gui().Activate(gCan);
  } else if (s == menu_game_ratio) {
    WindowSetToRatio(-1.0f);
    gui().Activate(gCan);
  } else if (s == menu_game_options) {
    ShowModal(gOptionWindow);
  } else if (s == menu_game_theme) {
    uint8_t& backtype = gView.back.backtype;
    backtype = uint8_t(backtype + 1);
    if (backtype > 2) backtype = 0;
    gui().Activate(gCan);
  } else if (s == menu_game_exit) {
    gui().Exit(0);
  } else if (s == menu_help_about) {
    ShowModal(gAboutWindow);
  } else if (s == menu_multiplayer) {
    if (gui().Hidden(gMultiWindow))
      gui().Show(gMultiWindow);
    else
      gui().Hide(gMultiWindow);
  } else if (s == menu_player_kick) {
    // The selected row's own record: ids and row positions differ once ids have gaps.
    if (TNet::NetStatus == NET_HOSTING) {
      const int row = gui().SelectedItem(gChatPList);
      if (row >= 0 && size_t(row) < gGame.Players.size()) Hosting().Kick(gGame.Players[size_t(row)].id);
    }
  }
}

void KeyDown(const Event& ev) {
  // Escape closes the about and win windows (the options window's Cancel button
  // takes it there); Return closes the win window too. Both as the close box does.
  if ((ev.data == 27 && (ev.source == gAboutWindow || ev.source == gWinWindow)) ||
      (ev.data == 13 && ev.source == gWinWindow)) {
    if (!gui().Hidden(ev.source)) CloseModal(ev.source);
    return;
  }
  if (gOptions.oPan != 1 || gGame.Wrapping != 1 || ev.source != gCan) return;
  const int32_t dir = gOptions.oInverted == 1 ? -1 : 1;
  switch (ev.data) {
    case KEY_LEFT: Pan(gGame, gView, -dir, 0); break;
    case KEY_RIGHT: Pan(gGame, gView, dir, 0); break;
    case KEY_UP: Pan(gGame, gView, 0, -dir); break;
    case KEY_DOWN: Pan(gGame, gView, 0, dir); break;
    default: break;
  }
}

// ---- rest ----
// The tick runs at its full rate only while something moves or happens. Once
// a tick finds the world quiet (no event since the last one, nothing waiting
// on a socket, nothing animating, the picture it drew still true), the timer
// rests until the clock's shown second changes, a connection's deadline
// comes, an event arrives or a socket has something to read.

// The timer that drives the ticks (null when ticks come from elsewhere), and whether it rests.
Gadget* gTicker = nullptr;
bool gResting = false;
// An event was handled since the last tick.
bool gEventSeen = true;

// Every socket the tick polls.
std::vector<int> Sockets() {
  std::vector<int> fds;
  for (const TSocket* s : std::initializer_list<const TSocket*>{&TNet::Serversock, &TNet::Clientsock, TServerList::SockPtr()})
    if (s && s->IsOpen()) fds.push_back(s->Fd());
  for (const auto& c : TNet::Clients)
    if (c->tcpsock.IsOpen()) fds.push_back(c->tcpsock.Fd());
  return fds;
}

// Bytes still waiting to leave keep the tick running: each tick flushes them.
bool SendsPending() {
  // A connect in progress (a join, the list server, a relay's call-back) is
  // polled by the tick: no socket readiness wakes it.
  if (ConnectPending() || !TServerList::Calls.empty()) return true;
  if (TNet::Clientsock.Queued() > 0) return true;
  if (const TSocket* s = TServerList::SockPtr(); s && s->Queued() > 0) return true;
  for (const auto& c : TNet::Clients)
    if (c->tcpsock.Queued() > 0) return true;
  return false;
}

// Milliseconds the timer may rest from now: -1 for as long as nothing happens.
int RestMs() {
  int64_t ms = -1;
  const auto until = [&ms](int64_t t) { ms = ms < 0 ? t : std::min(ms, t); };
  // The next whole second of a running clock, just past it.
  if (gGame.GameStatus != GAME_OVER)
    until(int64_t(std::ceil((std::floor(double(gGame.GameTime)) + 1.0 - double(gGame.GameTime)) * 1000.0)) + 1);
  // A connection that has not joined yet is closed at its deadline.
  const int32_t now = MilliSecs();
  for (const auto& c : TNet::Clients)
    if (const int32_t left = c->accepted + TNet::kJoinTimeoutMs - now; left >= 0) until(int64_t(left) + 1);
  return int(std::min<int64_t>(ms, 1 << 30));
}

void Tick(Gadget* timer) {
  if (timer != gTicker) gResting = false;
  gTicker = timer;
  const bool quiet = !std::exchange(gEventSeen, false);
  const bool rested = std::exchange(gResting, false) && quiet;
  // Only a quiet tick with nothing moving may end in a rest; the others skip the sockets' checks.
  const bool mayRest = timer && quiet && !Animating(gGame, gView);
  const std::vector<int> fds = mayRest ? Sockets() : std::vector<int>{};
  const uint64_t received = mayRest ? BytesReceived(fds) : 0;
  bool traffic = !mayRest || AnyReadable(fds);
  if (rested && !traffic) {
    // Nothing happened during the rest but time: the clock catches up before
    // the score is drawn, and the board shows what it showed.
    Update(gGame, FrameSeconds());
  } else if (gCan) {
    gui().Redraw(gCan);
  }
  const int32_t second = int32_t(std::floor(gGame.GameTime));
  if (gCanScore) gui().Redraw(gCanScore);
  const int32_t mouseBlock = gView.MouseBlock;
  if (ConnectPoll(Me())) ShowChatPage();
  if (TNet::NetStatus == NET_HOSTING) Hosting().Poll();
  if (TNet::NetStatus != NET_OFF) NetClient(gGame);
  ServerListPoll();
  // What arrived while the polls ran, read by them or not, is drawn by the next tick.
  if (!traffic)
    if (const std::vector<int> after = Sockets(); after != fds || BytesReceived(after) != received) traffic = true;
  gView.frameTime = FrameSeconds();
  Update(gGame, gView.frameTime);
  UpdateMouseBlock(gGame, gView);
  if (traffic || Animating(gGame, gView) || RecordWindowsBusy() || SendsPending() || mouseBlock != gView.MouseBlock ||
      second != int32_t(std::floor(gGame.GameTime)))
    return;
  gui().Rest(timer, RestMs(), Sockets());
  gResting = true;
}

}  // namespace

bool TickResting() { return gResting; }

Event* Hook(Event& ev) {
  if (ev.id == EVENT_TIMERTICK) {
    RecordWindowsEvent(ev);
    Tick(ev.source);
    return &ev;
  }
  // Any event may change the picture: the tick runs again (woken before the
  // event's handling might close a socket it waits on).
  if (ev.id != EVENT_GADGETPAINT) {
    gEventSeen = true;
    if (std::exchange(gResting, false) && gTicker) gui().Wake(gTicker);
  }
  if (RecordWindowsEvent(ev)) return &ev;
  switch (ev.id) {
    case EVENT_APPTERMINATE:
      gui().Exit(0);
      break;
    case EVENT_WINDOWCLOSE:
      if (ev.source == gMainWindow) {
        gui().Exit(0);
      } else if (ev.source == gOptionWindow || ev.source == gAboutWindow || ev.source == gWinWindow) {
        CloseModal(ev.source);
      } else if (ev.source == gMultiWindow) {
        gui().Hide(gMultiWindow);
        gui().Activate(gCan);
      }
      break;
    case EVENT_GADGETPAINT:
      if (ev.source == gCan) {
        gui().Enable(gCan);
        gui().Activate(gCan);
        G().SetViewport(0, 0, gui().Width(gCan), gui().Height(gCan));
        Draw(gGame, gView, gRes, gui().Width(gCan), gui().Height(gCan));
      } else if (ev.source == gCanScore) {
        G().SetViewport(0, 0, gui().Width(gCanScore), gui().Height(gCanScore));
        DrawScore(gGame, gRes, gui().Width(gCanScore), gui().Height(gCanScore));
      }
      break;
    case EVENT_WINDOWSIZE:
      ApplyCanvasScale();
      break;
    case EVENT_WINDOWACTIVATE:
      if (ev.source == gMainWindow) gui().Activate(gCan);
      break;
    case EVENT_MENUACTION:
      MenuAction(ev);
      break;
    case EVENT_GADGETMENU:
      if (ev.source == gChatPList) {
        const uint8_t st = TNet::NetStatus;
        auto set = [](Gadget* g, bool on) { on ? gui().Enable(g) : gui().Disable(g); };
        set(menu_player, st != NET_OFF);
        set(menu_player_slap, st != NET_OFF);
        set(menu_player_kick, st == NET_HOSTING);
        gui().PopupMenu(gMultiWindow, menu_player);
      }
      break;
    case EVENT_GADGETLOSTFOCUS:
      if (ev.source == gChatInp && MilliSecs() - ChatOKTimer < 500) gui().Activate(gChatInp);
      break;
    case EVENT_GADGETACTION:
      GadgetAction(ev);
      break;
    case EVENT_MOUSEMOVE:
      if (ev.source == gCan) {
        gView.gMouseX = float(ev.x) - gView.scale.OriginX;
        gView.gMouseY = float(ev.y) - gView.scale.OriginY;
      }
      break;
    case EVENT_MOUSEDOWN:
      if (ev.source == gCan && ev.data == 1 && gView.MouseBlock >= 0) gView.BlockMDown = true;
      break;
    case EVENT_MOUSEUP:
      if (ev.source != gCan) break;
      if (ev.data == 1) {
        if (gView.BlockMDown && gView.MouseBlock >= 0) ClickField(gView.MouseBlock, CLICK_UNCOVER);
        gView.BlockMDown = false;
      } else if (ev.data == 2) {
        const TBlock* b = gGame.FromID(gView.MouseBlock);
        if (b && b->Revealed == 0) ClickField(gView.MouseBlock, CLICK_FLAG);
      } else if (ev.data == 3) {
        ChordField(gView.MouseBlock);
      }
      break;
    case EVENT_KEYDOWN:
      KeyDown(ev);
      break;
    default:
      break;
  }
  return &ev;
}

}  // namespace bg
