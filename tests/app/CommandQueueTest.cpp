// One command at a time: what arrives while a command lets Qt process events (a drop, Open, Paste,
// a close request) waits for it instead of replacing the image the command is writing.
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <stdexcept>

#include "TBrindlexApplication.h"
#include "TCommandQueue.h"
#include "WindowTestUtil.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;
using quorvane::TImageFormat;

TEST(CommandQueue, RunsOneCommandAtATimeInOrderAndGoesOnAfterAFailure) {
  std::vector<QString> errors;
  brindlex::SetErrorReporter([&](const QString&, const QString& message) { errors.push_back(message); });
  brindlex::TCommandQueue queue;
  std::vector<std::string> log;
  queue.Run([&] {
    log.push_back("a starts");
    queue.Run([&] { log.push_back("b"); });
    queue.Run([] { throw std::runtime_error("c fails"); });
    queue.Run([&] { log.push_back(queue.Busy() ? "d while busy" : "d idle"); });
    EXPECT_EQ(queue.Waiting(), 3u);
    log.push_back("a ends");
  });
  brindlex::SetErrorReporter({});
  EXPECT_FALSE(queue.Busy());
  EXPECT_EQ(log, (std::vector<std::string>{"a starts", "a ends", "b", "d while busy"}));
  EXPECT_EQ(errors, std::vector<QString>{"c fails"});
}

// The command that lets events run while it writes the image: a page step (frame selection
// processes pending messages) or a transform repainting from its progress events.
struct TRunningCase {
  const char* Name;
  bool Transform;
};

class RequestsDuringACommand : public WindowTest, public ::testing::WithParamInterface<TRunningCase> {};

TEST_P(RequestsDuringACommand, WaitForItAndRunInOrderAfterwards) {
  const auto p1 = Gradient(30, 20, TImageFormat::Color256);
  const auto p2 = Gradient(24, 16, TImageFormat::Color256);
  const std::string pages = Path("pages.dcx");
  WritePages({p1.get(), p2.get(), p1.get()}, pages);
  Dialogs->OpenNames.push_back(QString::fromStdString(pages));
  Trigger("acOpen");
  ASSERT_EQ(Window->lblPage->text(), "Page 1 of 3");
  WriteImage(*Gradient(8, 6), Path("dropped.tga"));
  WriteImage(*Gradient(9, 7), Path("opened.tga"));
  QApplication::clipboard()->setImage(QImage(5, 4, QImage::Format_RGB32));
  QApplication::processEvents();
  Window->UpdateCommands();
  ASSERT_TRUE(Enabled("acPaste"));
  Window->SetRepaintInterval(0);

  // Everything below is posted now and delivered inside the command's own event processing.
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("dropped.tga")))});
  QMetaObject::invokeMethod(
      Window.get(), [&] { SendDrop(*Window, dropped); }, Qt::QueuedConnection);
  for (const char* name : {"acOpen", "acPaste"}) {
    QAction* action = Window->Action(name);
    QMetaObject::invokeMethod(
        Window.get(), [action] { action->trigger(); }, Qt::QueuedConnection);
  }
  QCoreApplication::postEvent(Window.get(), new QCloseEvent);
  const quorvane::TDibGraphic* imageBefore = &Image();
  bool probed = false;
  QMetaObject::invokeMethod(
      Window.get(),
      [&] {
        probed = true;
        EXPECT_TRUE(Window->CommandRunning());
        EXPECT_EQ(&Image(), imageBefore) << "the image being written was replaced";
        EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(pages));
        EXPECT_TRUE(Window->isVisible());
        EXPECT_EQ(Window->Commands().Waiting(), 4u);
        EXPECT_TRUE(Dialogs->Questions.empty());
      },
      Qt::QueuedConnection);

  Dialogs->OpenNames.push_back(QString::fromStdString(Path("opened.tga")));
  // The transform leaves the picture modified: the drop's open asks first. The paste leaves it
  // modified too: the close asks.
  if (GetParam().Transform) Dialogs->Answers.push_back(brindlex::TAnswer::No);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  if (GetParam().Transform)
    Trigger(TImageCommand::Negative);
  else
    Trigger("acNextPage");

  EXPECT_TRUE(probed) << "the command processed no events";
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  EXPECT_EQ(Dialogs->Questions.size(), GetParam().Transform ? 2u : 1u);
  EXPECT_TRUE(Dialogs->OpenNames.empty()) << "Open ran after the command";
  EXPECT_TRUE(Dialogs->Answers.empty());
  EXPECT_EQ(Image().Width(), 5) << "the paste ran after the open";
  EXPECT_FALSE(Window->isVisible()) << "the close ran last";
  EXPECT_FALSE(Window->CommandRunning());
}

INSTANTIATE_TEST_SUITE_P(Commands, RequestsDuringACommand,
                         ::testing::Values(TRunningCase{"PageStep", false}, TRunningCase{"Transform", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace qvtest
