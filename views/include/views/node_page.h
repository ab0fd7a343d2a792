// What a node's property page uses of its configuration window, and the base
// class of those pages.
//
// A page is made for one node when that node is selected and is destroyed
// when the selection changes, so its node never changes. It keeps the node as
// a NodeRef and finds the records afresh each time it fills itself:
//
//   bool CPropPageX::OnSetActive() {
//     platform::WaitCursor wait(Context().Ui());
//     ctl::CControllerIo::Lock lock(Context().Io());
//     const ResolvedNode found = Resolve(Context().Io().Model(), Node());
//     if (found.adapter != nullptr) { ... requests, copy the texts ... }
//     ...                               // no pointer is kept past the lock
//   }
//
// Never hold the model lock while waiting for anything else (a box, a nested
// event loop): the request layer delivers its boxes after the outermost lock
// is released, and so must the page.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "controller/controller_io.h"
#include "platform/ui_services.h"
#include "platform_qt/property_sheet.h"
#include "settings/app_settings.h"
#include "views/node_ref.h"

class QLabel;

namespace kestrune::views {

class NodeContext {
 public:
  virtual ~NodeContext() = default;

  virtual ctl::CControllerIo& Io() = 0;
  virtual settings::AppSettings& Settings() = 0;
  // Boxes, wait cursor: the window's services.
  virtual platform::UiServices& Ui() = 0;
  // The window's caption, for the boxes the pages show themselves.
  virtual std::wstring WindowCaption() const = 0;

  // Re-reads the adapter through the driver (adapter and device information,
  // and for a RAID chip its spares and sets) and rebuilds its tree branch.
  virtual void RebuildAdapterBranch(std::uint32_t adapterNumber) = 0;
  // Makes the sheet show the page with this template number, filled anew
  // (also when it is the page shown now). False when the sheet has none.
  virtual bool ShowPage(unsigned templateId) = 0;
};

class CNodePage : public platform_qt::CPropertyPage {
  Q_OBJECT

 public:
  ~CNodePage() override;

  const NodeRef& Node() const { return node_; }
  NodeContext& Context() const { return context_; }

  // The sheet is about to be destroyed because another node was selected (or
  // the window closes): stop timers and the like. Called once, on every page
  // of the sheet, whether or not it was ever active. Default: nothing.
  virtual void OnLeaveNode();

 protected:
  // The constructor of a page class calls SetUpForm(*ui_) next.
  CNodePage(NodeContext& context, const NodeRef& node);

  // A value label's text.
  static void SetValue(QLabel* label, const std::wstring& text);
  // The picture at the page's left edge (a bitmap resource).
  static void ShowPicture(QLabel* label, unsigned bitmapId);

 private:
  NodeContext& context_;
  const NodeRef node_;
};

}  // namespace kestrune::views
