#include <algoMesh_FieldFrame.hxx>

#include <gtest/gtest.h>

using quorin::algoMesh_Field;
using quorin::algoMesh_FieldFrame;

namespace
{
const Standard_GUID THE_OWNER("2a96b602-ec8b-11d0-bee7-080009dc3333");

std::vector<double> tupleOf(const Handle(algoMesh_Field) & field, const int id)
{
  const double* tuple = field->Value(id);
  return tuple != nullptr ? std::vector<double>(tuple, tuple + field->NbComponents())
                          : std::vector<double>();
}
} // namespace

TEST(algoMesh_Field, NewFieldIsEmptyWithInfiniteRange)
{
  Handle(algoMesh_Field) field = new algoMesh_Field("Aspect ratio", 1, 1, THE_OWNER);
  EXPECT_STREQ("Aspect ratio", field->Name().ToCString());
  EXPECT_EQ(algoMesh_Field::Association_Element, field->Association());
  EXPECT_EQ(1, field->NbComponents());
  EXPECT_EQ(-2e100, field->RangeMin());
  EXPECT_EQ(2e100, field->RangeMax());
  EXPECT_FALSE(field->HasValues());
  EXPECT_FALSE(field->IsReserved());
  EXPECT_TRUE(field->OwnerID() == THE_OWNER);
  EXPECT_TRUE(field->Values().IsEmpty());
  EXPECT_EQ(nullptr, field->Value(1));

  // Storing sets the flag but never moves the range.
  EXPECT_TRUE(field->SetValue(1, 1e300));
  EXPECT_TRUE(field->HasValues());
  EXPECT_EQ(-2e100, field->RangeMin());
  EXPECT_EQ(2e100, field->RangeMax());
}

TEST(algoMesh_Field, StoringAgainReplacesTheTuple)
{
  Handle(algoMesh_Field) field = new algoMesh_Field("Area", 1, 1, THE_OWNER);
  EXPECT_TRUE(field->SetValue(7, 2.0));
  EXPECT_TRUE(field->SetValue(7, 5.0));
  EXPECT_EQ(1, field->Values().Extent());
  EXPECT_EQ(std::vector<double>{5.0}, tupleOf(field, 7));
}

TEST(algoMesh_Field, VectorFieldRefusesScalarsAndWrongSizes)
{
  Handle(algoMesh_Field) field = new algoMesh_Field("displacement", 0, 3, THE_OWNER);
  EXPECT_FALSE(field->SetValue(1, 1.0));
  EXPECT_FALSE(field->SetValues(1, std::vector<double>{1.0, 2.0}));
  EXPECT_FALSE(field->SetValues(1, std::vector<double>{1.0, 2.0, 3.0, 4.0}));
  EXPECT_FALSE(field->SetValues(1, static_cast<const double*>(nullptr)));
  EXPECT_FALSE(field->HasValues());
  EXPECT_TRUE(field->Values().IsEmpty());

  EXPECT_TRUE(field->SetValues(1, std::vector<double>{1.0, 2.0, 3.0}));
  const double raw[] = {4.0, 5.0, 6.0, 99.0}; // only the first three are read
  EXPECT_TRUE(field->SetValues(2, raw));
  EXPECT_TRUE(field->SetValues(1, raw));
  EXPECT_EQ((std::vector<double>{4.0, 5.0, 6.0}), tupleOf(field, 1));
  EXPECT_EQ((std::vector<double>{4.0, 5.0, 6.0}), tupleOf(field, 2));
  EXPECT_EQ(2, field->Values().Extent());
}

TEST(algoMesh_Field, FieldWithoutComponentsRefusesEveryStore)
{
  Handle(algoMesh_Field) field = new algoMesh_Field("empty", 1, 0, THE_OWNER);
  const double raw[]           = {1.0};
  EXPECT_FALSE(field->SetValue(1, 1.0));
  EXPECT_FALSE(field->SetValues(1, std::vector<double>()));
  EXPECT_FALSE(field->SetValues(1, raw));
  EXPECT_FALSE(field->HasValues());
  EXPECT_TRUE(field->Values().IsEmpty());
}

TEST(algoMesh_FieldFrame, AddsFrameIndexAndTimeToTheField)
{
  Handle(algoMesh_FieldFrame) frame =
      new algoMesh_FieldFrame("temperature", 0, 1, THE_OWNER, 3, 0.125);
  EXPECT_EQ(3, frame->FrameIndex());
  EXPECT_EQ(0.125, frame->Time());
  EXPECT_STREQ("temperature", frame->Name().ToCString());
  EXPECT_EQ(algoMesh_Field::Association_Node, frame->Association());
  EXPECT_EQ(-2e100, frame->RangeMin());
  EXPECT_TRUE(frame->SetValue(306, 20.5));
  EXPECT_TRUE(frame->HasValues());
}

TEST(algoMesh_Field, RegistersRunTimeTypes)
{
  Handle(algoMesh_Field) frame = new algoMesh_FieldFrame("f", 1, 1, THE_OWNER, 0, 0.0);
  EXPECT_STREQ("algoMesh_Field", STANDARD_TYPE(algoMesh_Field)->Name());
  EXPECT_STREQ("algoMesh_FieldFrame", frame->DynamicType()->Name());
  EXPECT_EQ(STANDARD_TYPE(algoMesh_Field), frame->DynamicType()->Parent());
  EXPECT_EQ(STANDARD_TYPE(Standard_Transient), STANDARD_TYPE(algoMesh_Field)->Parent());
  EXPECT_TRUE(frame->IsKind(STANDARD_TYPE(algoMesh_Field)));
}

TEST(algoMesh_Field, MapViewFollowsStoresForAnyIds)
{
  // Compact IDs, a negative one and one far beyond the count take different look-up
  // paths; the map view and the per-ID access must agree on all of them.
  Handle(algoMesh_Field) field = new algoMesh_Field("Velocity", 0, 2, THE_OWNER);
  const int ids[]              = {1, 2, -5, 2000000000, 3, 0};
  for (const int id : ids)
  {
    EXPECT_TRUE(field->SetValues(id, std::vector<double>{double(id), -double(id)}));
  }
  EXPECT_EQ(6, field->Values().Extent());
  EXPECT_TRUE(field->SetValues(-5, std::vector<double>{7.0, 8.0}));
  EXPECT_EQ(6, field->NbTuples());
  const algoMesh_Field::ValueMap& values = field->Values();
  EXPECT_EQ((std::vector<double>{7.0, 8.0}), values.Find(-5));
  for (const int id : ids)
  {
    EXPECT_EQ(values.Find(id), tupleOf(field, id)) << id;
  }
  EXPECT_EQ(2000000000, field->TupleId(3));
  EXPECT_EQ(nullptr, field->Value(4));
}

TEST(algoMesh_Field, IncreasingIdsWithGapsThenAnEarlierId)
{
  // Increasing IDs are kept as runs; a later ID below the last one switches the storage.
  // IDs, tuples and look-ups must read the same before and after.
  Handle(algoMesh_Field) field = new algoMesh_Field("Area", 1, 1, THE_OWNER);
  const int ids[]              = {1, 2, 3, 7, 8, 20};
  for (const int id : ids)
  {
    EXPECT_TRUE(field->SetValue(id, 10.0 * id));
  }
  EXPECT_TRUE(field->SetValue(8, -1.0)); // replaces, adds no ID
  auto expectStored = [&](const std::vector<int>& order)
  {
    ASSERT_EQ(static_cast<int>(order.size()), field->NbTuples());
    for (int k = 0; k < field->NbTuples(); ++k)
    {
      EXPECT_EQ(order[k], field->TupleId(k));
      const double expected = order[k] == 8 ? -1.0 : 10.0 * order[k];
      EXPECT_EQ(expected, field->TupleAt(k)[0]);
      ASSERT_NE(nullptr, field->Value(order[k]));
      EXPECT_EQ(expected, *field->Value(order[k]));
    }
    for (const int absent : {0, 4, 6, 9, 19, 21, -1})
    {
      EXPECT_EQ(nullptr, field->Value(absent)) << absent;
    }
    EXPECT_EQ(field->NbTuples(), field->Values().Extent());
  };
  expectStored({1, 2, 3, 7, 8, 20});
  EXPECT_TRUE(field->SetValue(5, 50.0));
  expectStored({1, 2, 3, 7, 8, 20, 5});
}
