// What the event logger thread asks of the user interface, and the private
// window messages between the two threads.
#pragma once

#include <cstdint>

namespace kestrune::evt {

// Private window messages (wParam and lParam 0 unless stated).
inline constexpr std::uint32_t UM_TRAYICON = 0x040B;     // tray callback; lParam: mouse message
inline constexpr std::uint32_t UM_POPUPCLOSED = 0x040E;  // the popup's OK was pressed
inline constexpr std::uint32_t UM_SHOWPOPUP = 0x040F;    // logger: show or raise the popup
inline constexpr std::uint32_t UM_POLLDONE = 0x0410;     // logger: a poll is done
inline constexpr std::uint32_t UM_POLLREFRESH = 0x0411;  // frame to configuration window

// Implemented by the main frame. The Post methods return at once (they queue
// the message for the user-interface thread); the others are synchronous
// calls that the user-interface thread carries out while the logger waits.
// The logger never holds the controller's model lock while it calls any of
// them, since the user-interface thread may be waiting for the model.
class LoggerUi {
 public:
  virtual ~LoggerUi() = default;

  // UM_SHOWPOPUP: an event reached "Popup Event Level".
  virtual void PostShowPopup() = 0;
  // UM_POLLDONE: posted after every poll.
  virtual void PostPollDone() = 0;

  // Whether the configuration window (its tree and pages) exists now.
  virtual bool MainViewExists() = 0;
  // Rebuilds the tree branch of the adapter from the model; the logger has
  // re-read the adapter already.
  virtual void RebuildAdapterBranch(std::uint32_t adapterNumber) = 0;
  // Selects the tree's current item again, so that its pages are rebuilt.
  virtual void ReselectCurrentItem() = 0;
  // Discovery found the adapters anew after the model had none: the computer
  // entry gets its pages again and every adapter its branch.
  virtual void AdaptersRediscovered() = 0;
  // Whether the events page is the one shown.
  virtual bool EventsPageVisible() = 0;
  // Runs the saving data exchange of the active property page.
  virtual void ExchangeActivePageData() = 0;
};

}  // namespace kestrune::evt
