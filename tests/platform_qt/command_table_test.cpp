#include "platform_qt/command_table.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <vector>

namespace kestrune::platform_qt {
namespace {

// The application object: the last stop of a command.
class App : public CommandTarget {
 public:
  std::vector<unsigned> handled;
  void OnAbout() { handled.push_back(57664); }
  void OnExit() { handled.push_back(57665); }

 protected:
  bool HandleCommand(unsigned id) override { return Table().Dispatch(*this, id); }

 private:
  static const CommandTable<App>& Table() {
    static const CommandTable<App> table{{57664, &App::OnAbout}, {57665, &App::OnExit}};
    return table;
  }
};

// The frame: handles its own commands, a range taking the id, and overrides
// one of the application's.
class Frame : public CommandTarget {
 public:
  std::vector<unsigned> handled;
  void OnConfigure() { handled.push_back(32782); }
  void OnReport(unsigned id) { handled.push_back(id); }
  void OnExit() { handled.push_back(57665); }

 protected:
  bool HandleCommand(unsigned id) override { return Table().Dispatch(*this, id); }

 private:
  static const CommandTable<Frame>& Table() {
    static const CommandTable<Frame> table{
        {32782, &Frame::OnConfigure}, {32783, 32785, &Frame::OnReport}, {57665, &Frame::OnExit}};
    return table;
  }
};

TEST(CommandTable, DispatchRunsTheMappedHandler) {
  Frame frame;
  const CommandTable<Frame> table{{32782, &Frame::OnConfigure}, {32783, 32785, &Frame::OnReport}};
  EXPECT_TRUE(table.Dispatch(frame, 32782));
  EXPECT_TRUE(table.Dispatch(frame, 32783));
  EXPECT_TRUE(table.Dispatch(frame, 32785));
  EXPECT_FALSE(table.Dispatch(frame, 32786));  // one past the range
  EXPECT_FALSE(table.Dispatch(frame, 0));
  EXPECT_EQ(frame.handled, (std::vector<unsigned>{32782, 32783, 32785}));
  EXPECT_TRUE(table.Handles(32784));
  EXPECT_FALSE(table.Handles(32781));
}

TEST(CommandTable, FirstEntryForAnIdWins) {
  Frame frame;
  const CommandTable<Frame> table{{32783, &Frame::OnConfigure}, {32783, &Frame::OnReport}};
  table.Dispatch(frame, 32783);
  EXPECT_EQ(frame.handled, (std::vector<unsigned>{32782}));
}

TEST(CommandTable, UnhandledCommandsGoFromFrameToApplication) {
  App app;
  Frame frame;
  frame.SetNextCommandTarget(&app);
  EXPECT_TRUE(frame.RouteCommand(57664));  // the frame has none: the application
  EXPECT_TRUE(frame.RouteCommand(57665));  // the frame's own comes first
  EXPECT_FALSE(frame.RouteCommand(12345));
  EXPECT_EQ(frame.handled, (std::vector<unsigned>{57665}));
  EXPECT_EQ(app.handled, (std::vector<unsigned>{57664}));
  EXPECT_FALSE(app.RouteCommand(32782));  // never backwards
}

TEST(CommandTable, ControlsCarryTheirIdsAndRouteThem) {
  App app;
  Frame frame;
  frame.SetNextCommandTarget(&app);
  QWidget window;
  QPushButton* button = MakeButton(&window, 32782, QStringLiteral("&Configure..."), &frame);
  auto* menu = new QMenu(&window);
  QAction* about = MakeAction(menu, 57664, QStringLiteral("&About..."), &frame);
  menu->addAction(about);

  EXPECT_EQ(CommandIdOf(button), 32782u);
  EXPECT_EQ(button->objectName(), QStringLiteral("32782"));
  EXPECT_EQ(FindById<QPushButton>(&window, 32782), button);
  EXPECT_EQ(FindById(&window, 32782), button);
  EXPECT_EQ(FindById<QAction>(&window, 57664), about);
  EXPECT_EQ(FindObjectById(&window, 57664), about);
  EXPECT_EQ(FindById(&window, 1), nullptr);
  EXPECT_EQ(FindById<QAction>(&window, 32782), nullptr);  // a button, not an action
  EXPECT_EQ(FindById(nullptr, 32782), nullptr);
  EXPECT_FALSE(CommandIdOf(&window).has_value());

  button->click();
  about->trigger();
  EXPECT_EQ(frame.handled, (std::vector<unsigned>{32782}));
  EXPECT_EQ(app.handled, (std::vector<unsigned>{57664}));
}

TEST(CommandTable, RootItselfIsFound) {
  QPushButton button;
  SetCommandId(&button, 1);
  EXPECT_EQ(FindById<QPushButton>(&button, 1), &button);
}

}  // namespace
}  // namespace kestrune::platform_qt
