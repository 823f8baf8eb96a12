#include <ActAPI_LogMessage.hxx>
#include <ActAPI_ProgressEntry.hxx>
#include <ActAPI_RecordingNotifier.hxx>

#include <BRepPrimAPI_MakeBox.hxx>
#include <Standard_ProgramError.hxx>

#include <gtest/gtest.h>

#include <string>

namespace
{
template <typename T> Handle(T) argumentAs(const ActAPI_LogMessage& message, const int index)
{
  return Handle(T)::DownCast(message.Arguments.Value(index));
}
} // namespace

TEST(ActAPI_LogMessage, FirstTextIsMessageLaterTextsAreArguments)
{
  ActAPI_LogMessage message(LogPriority_Normal, LogSeverity_Info);
  message << "Reading file '%1'." << std::string("part.stl") << TCollection_AsciiString("x");
  EXPECT_TRUE(message.IsTextSet);
  EXPECT_STREQ("Reading file '%1'.", message.Text.ToCString());
  ASSERT_EQ(2, message.Arguments.Length());
  EXPECT_STREQ("part.stl", argumentAs<ActAPI_VariableString>(message, 1)->Value.ToCString());
  EXPECT_STREQ("x", argumentAs<ActAPI_VariableString>(message, 2)->Value.ToCString());
}

TEST(ActAPI_LogMessage, NonTextValuesBecomeTypedArgumentsInOrder)
{
  Handle(TColStd_HArray1OfReal) array = new TColStd_HArray1OfReal(1, 2);
  array->SetValue(1, 0.5);
  array->SetValue(2, -2.0);
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(1.0, 2.0, 3.0).Shape();

  ActAPI_LogMessage message;
  message << "%1 %2 %3 %4 %5" << 17 << 0.25 << true << array << box;
  ASSERT_EQ(5, message.Arguments.Length());
  EXPECT_EQ(17, argumentAs<ActAPI_VariableInt>(message, 1)->Value);
  EXPECT_EQ(0.25, argumentAs<ActAPI_VariableReal>(message, 2)->Value);
  EXPECT_TRUE(argumentAs<ActAPI_VariableBool>(message, 3)->Value);
  EXPECT_EQ(array, argumentAs<ActAPI_VariableRealArray>(message, 4)->Value);
  EXPECT_TRUE(box.IsSame(argumentAs<ActAPI_VariableShape>(message, 5)->Value));
  EXPECT_STREQ("17 0.25 true (0.5, -2) SOLID", message.Formatted().ToCString());
}

TEST(ActAPI_LogMessage, ValueBeforeTextRaisesProgramError)
{
  // Each non-text kind must refuse to start a record, and the record stays untouched.
  ActAPI_LogMessage message;
  try
  {
    message << 3;
    FAIL() << "no exception";
  }
  catch (const Standard_ProgramError& error)
  {
    EXPECT_STREQ("Message must be initialized first", error.GetMessageString());
  }
  EXPECT_THROW(message << 1.5, Standard_ProgramError);
  EXPECT_THROW(message << false, Standard_ProgramError);
  EXPECT_THROW(message << Handle(TColStd_HArray1OfReal)(), Standard_ProgramError);
  EXPECT_THROW(message << TopoDS_Shape(), Standard_ProgramError);
  EXPECT_FALSE(message.IsTextSet);
  EXPECT_EQ(0, message.Arguments.Length());
}

TEST(ActAPI_LogMessage, MutedRecordIgnoresEverything)
{
  ActAPI_LogMessage message;
  message.IsMuted = true;
  EXPECT_NO_THROW(message << 5); // no text yet, but a muted record does not check
  message << "text" << 7;
  EXPECT_FALSE(message.IsTextSet);
  EXPECT_TRUE(message.Text.IsEmpty());
  EXPECT_EQ(0, message.Arguments.Length());
}

TEST(ActAPI_LogMessage, FormattedFillsNumberedPlaceholders)
{
  ActAPI_LogMessage reordered;
  reordered << "%2 before %1, %1 again"
            << "a"
            << "b";
  EXPECT_STREQ("b before a, a again", reordered.Formatted().ToCString());

  // Placeholders without an argument, "%0", a lone "%" and "%%" stay as written.
  ActAPI_LogMessage missing;
  missing << "%1 of %3 at 50% %0 %%" << 2;
  EXPECT_STREQ("2 of %3 at 50% %0 %%", missing.Formatted().ToCString());

  // Two-digit placeholders address the tenth argument and later.
  ActAPI_LogMessage many;
  many << "%10/%1";
  for (int i = 1; i <= 10; ++i)
  {
    many << i;
  }
  EXPECT_STREQ("10/1", many.Formatted().ToCString());

  ActAPI_LogMessage huge;
  huge << "%99999999999999 %1";
  EXPECT_STREQ("%99999999999999 %1", huge.Formatted().ToCString());
}

TEST(ActAPI_LogMessage, ErrorRecordReachesNotifierUnchanged)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  ActAPI_ProgressEntry progress(notifier);
  ActAPI_LogMessage    message(LogPriority_Normal, LogSeverity_Error);
  message << "Failed to copy shape.";
  progress.SendLogMessage(message);

  const std::vector<ActAPI_LogMessage> received = notifier->Messages();
  ASSERT_EQ(1u, received.size());
  EXPECT_EQ(LogPriority_Normal, received[0].Priority);
  EXPECT_EQ(LogSeverity_Error, received[0].Severity);
  EXPECT_STREQ("Failed to copy shape.", received[0].Text.ToCString());
  EXPECT_EQ(0, received[0].Arguments.Length());
}

TEST(ActAPI_ProgressEntry, EmptyEntryDropsReportsAndNeverCancels)
{
  ActAPI_ProgressEntry progress;
  ActAPI_LogMessage    message;
  message << "dropped";
  progress.Init("work", 10);
  progress.StepProgress(3);
  progress.SetProgress(4);
  progress.Complete();
  progress.SendLogMessage(message);
  EXPECT_FALSE(progress.IsCancelling());
  EXPECT_TRUE(progress.Access().IsNull());
}
