// One route for every failure: what a command raises, what escapes an event handler, what fails
// in the view's own event handling and what the platform's ShowWarning reports all end in the
// window's dialogs; without a window they go to the log only.
#include <QApplication>
#include <QEvent>

#include "TBrindlexApplication.h"
#include "WindowTestUtil.h"
#include "model/QvExcept.h"
#include "model/QvPlatform.h"

namespace qvtest {
namespace {

// An object whose handler of user events fails.
class TFailingObject : public QObject {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw quorvane::EQuorvaneError("the handler failed");
    return QObject::event(event);
  }
};

// Qt's log while the object lives.
class TLogCapture {
 public:
  TLogCapture() : FPrevious(qInstallMessageHandler(Handler)) { Lines().clear(); }
  ~TLogCapture() { qInstallMessageHandler(FPrevious); }
  static std::vector<QString>& Lines() {
    static std::vector<QString> lines;
    return lines;
  }

 private:
  static void Handler(QtMsgType, const QMessageLogContext&, const QString& message) { Lines().push_back(message); }
  QtMessageHandler FPrevious;
};

TEST_F(WindowTest, EveryKindOfFailureEndsInTheDialogs) {
  // A command: fit width of a picture 1 pixel wide zooms its 60000 rows beyond what a widget can
  // show, so the command fails, and the zoom mode it set stays.
  ShowPicture(*Gradient(1, 60000));
  Trigger("acFitWidth");
  ASSERT_EQ(Dialogs->Errors, std::vector<QString>{"CreateDibSection failed"});
  ASSERT_EQ(Window->ImageScrollBox().ZoomMode(), quorvane::TZoomMode::zmFitWidth);

  // The view's own event handling: each size change redraws, which fails the same way.
  quorvane::TImageScrollBox& view = Window->ImageScrollBox();
  view.resize(view.width() + 20, view.height());
  QApplication::processEvents();
  ASSERT_GE(Dialogs->Errors.size(), 2u);
  EXPECT_EQ(Dialogs->Errors.back(), "CreateDibSection failed");
  Trigger("acActualSize");
  Dialogs->Errors.clear();
  Dialogs->ErrorCaptions.clear();

  // An event handler: the application's notify catches what escapes it.
  TFailingObject object;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&object, &event);
  EXPECT_EQ(Dialogs->Errors, std::vector<QString>{"the handler failed"});

  // The platform's warnings, under their own caption.
  quorvane::Platform().ShowWarning("PNG Error", "iCCP: known incorrect sRGB profile");
  EXPECT_EQ(Dialogs->Errors.back(), "iCCP: known incorrect sRGB profile");
  EXPECT_EQ(Dialogs->ErrorCaptions, (std::vector<QString>{"", "PNG Error"}));
  EXPECT_TRUE(Dialogs->Messages.empty());
}

// A PNG whose gAMA chunk fails its check: libpng's warning reaches the user while the file is read,
// and the picture opens with the warning listed.
TEST_F(WindowTest, AReadersWarningReachesTheDialogs) {
  const std::string file = Path("warned.png");
  WriteImage(*Gradient(8, 4), file);
  std::vector<uint8_t> bytes = qvtest::FileBytes(file);
  // After the signature (8 bytes) and IHDR (25): a gAMA chunk of 1/2.2 with a wrong CRC.
  const std::vector<uint8_t> gama = {0, 0, 0, 4, 'g', 'A', 'M', 'A', 0, 0, 0xB1, 0x8F, 0xDE, 0xAD, 0xBE, 0xEF};
  bytes.insert(bytes.begin() + 33, gama.begin(), gama.end());
  qvtest::PutFileBytes(file, bytes);
  Dialogs->OpenNames.push_back(QString::fromStdString(file));
  Trigger("acOpen");
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(file));
  ASSERT_EQ(Dialogs->Errors.size(), 1u);
  EXPECT_TRUE(Dialogs->Errors[0].contains("CRC error")) << Dialogs->Errors[0].toStdString();
  EXPECT_EQ(Dialogs->ErrorCaptions[0], "PNG Error");
  ASSERT_EQ(Dialogs->Messages.size(), 1u);
  EXPECT_TRUE(Dialogs->Messages[0].contains("CRC error"));
}

// Without a window, failures go to the log, and a window that is gone is not called.
TEST(ErrorRoute, WithoutAWindowFailuresGoToTheLog) {
  {
    brindlex::TfrmImageConverter window;
    window.SetUserDialogs(std::make_unique<TScriptedDialogs>());
  }
  const TLogCapture log;
  quorvane::Platform().ShowWarning("PNG Error", "lost");
  brindlex::HandleException(std::make_exception_ptr(quorvane::EQuorvaneError("failed")));
  brindlex::HandleException(std::make_exception_ptr(brindlex::EAbort()));
  EXPECT_EQ(TLogCapture::Lines(), (std::vector<QString>{"PNG Error: lost", "failed"}));
}

}  // namespace
}  // namespace qvtest
