#include <algoMesh_QualityInfo.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <TDataXtd_Triangulation.hxx>

#include <gtest/gtest.h>

using namespace quorin;

namespace
{
const char* const THE_UNRESOLVED = "Unresolved metric type. Cannot set metric for element.";

algoMesh_QualityMetricType typeOf(const int value)
{
  return static_cast<algoMesh_QualityMetricType>(value);
}
} // namespace

TEST(algoMesh_QualityInfo, SameTypeTwiceGivesOneFieldWithTwoIds)
{
  Handle(algoMesh_QualityInfo) info = new algoMesh_QualityInfo(nullptr);
  const Standard_GUID& owner        = TDataXtd_Triangulation::GetID();
  info->SetMetric(1, QualityMetric_AspectRatio, 1.2, owner);
  info->SetMetric(4, QualityMetric_AspectRatio, 3.5, owner);

  EXPECT_EQ(1, info->Fields().Extent());
  Handle(algoMesh_Field) field = info->Field(QualityMetric_AspectRatio);
  ASSERT_FALSE(field.IsNull());
  EXPECT_STREQ("Aspect ratio", field->Name().ToCString());
  EXPECT_EQ(algoMesh_Field::Association_Element, field->Association());
  EXPECT_EQ(1, field->NbComponents());
  EXPECT_TRUE(field->OwnerID() == owner);
  EXPECT_EQ(2, field->Values().Extent());
  EXPECT_EQ(3.5, field->Value(4)[0]);
  EXPECT_TRUE(info->Field(QualityMetric_MinAngle).IsNull());
}

TEST(algoMesh_QualityInfo, EveryMetricGetsItsOwnNamedField)
{
  Handle(algoMesh_QualityInfo) info = new algoMesh_QualityInfo(nullptr);
  for (int type = 0; type <= 10; ++type)
  {
    info->SetMetric(1, typeOf(type), type, Standard_GUID());
  }
  EXPECT_EQ(11, info->Fields().Extent());
  EXPECT_STREQ("Area", info->Field(QualityMetric_Area)->Name().ToCString());
  EXPECT_STREQ("Self-Intersection",
               info->Field(QualityMetric_SelfIntersection)->Name().ToCString());
}

TEST(algoMesh_QualityInfo, UnresolvedTypeReportsEachTimeAndStoresNothing)
{
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(algoMesh_QualityInfo) info         = new algoMesh_QualityInfo(notifier);
  info->SetMetric(1, typeOf(12), 1.0, Standard_GUID());
  info->SetMetric(2, typeOf(12), 1.0, Standard_GUID());
  info->SetMetric(3, typeOf(-1), 1.0, Standard_GUID());
  info->SetMetric(4, typeOf(1000), 1.0, Standard_GUID());
  EXPECT_TRUE(info->Fields().IsEmpty());

  const std::vector<ActAPI_LogMessage> messages = notifier->Messages();
  ASSERT_EQ(4u, messages.size());
  for (const ActAPI_LogMessage& message : messages)
  {
    EXPECT_EQ(LogPriority_Normal, message.Priority);
    EXPECT_EQ(LogSeverity_Error, message.Severity);
    EXPECT_STREQ(THE_UNRESOLVED, message.Text.ToCString());
    EXPECT_EQ(0, message.Arguments.Length());
  }
}

TEST(algoMesh_QualityInfo, UnresolvedTypeWithoutNotifierDoesNothing)
{
  Handle(algoMesh_QualityInfo) info = new algoMesh_QualityInfo(nullptr);
  info->SetMetric(1, typeOf(12), 1.0, Standard_GUID());
  EXPECT_TRUE(info->Fields().IsEmpty());
  EXPECT_STREQ("algoMesh_QualityInfo", info->DynamicType()->Name());
}
