// The simulator's IFC reader: which instances become objects, how STEP
// syntax is honoured, and that odd files end with an error instead of a
// crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tools/viewer_sim/ifc_reader.h"

namespace viewer_sim {
namespace {

std::string Wrap(const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('x'),'2;1');\nFILE_SCHEMA(('IFC2X3'));\nENDSEC;\nDATA;\n" + data +
         "ENDSEC;\nEND-ISO-10303-21;\n";
}

std::wstring GuidOf(const ModelObject& object) {
  for (const auto& p : object.properties) {
    if (p.set == kElementSpecificSet && p.name == kGuidProperty && p.value) return *p.value;
  }
  return L"";
}

TEST(IfcReader, TakesRootedInstancesWithTheirGuidTypeNameAndId) {
  const auto result = ParseIfc(Wrap("#1= IFCPROJECT('28hypXUBvBefc20SI8kfA$',#2,'Default Project',$,$,$,$,(#20),#7);\n"
                                    "#2= IFCOWNERHISTORY(#3,#6,$,.NOTDEFINED.,$,$,$,1323724715);\n"
                                    "#4=IFCWALL('3vB2YO$MX4xv5uCqZZG05x',#2,$,$,$,#9,#10,$);\n"
                                    "#5=IFCCARTESIANPOINT((0.,0.,0.));\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].type, L"IFCPROJECT");
  EXPECT_EQ(result.objects[0].name, L"Default Project");
  EXPECT_EQ(GuidOf(result.objects[0]), L"28hypXUBvBefc20SI8kfA$");
  EXPECT_EQ(result.objects[0].properties[0].set, L" Element Specific");
  EXPECT_EQ(result.objects[0].id, (1ull << 32) | 1u);
  EXPECT_EQ(result.objects[1].type, L"IFCWALL");
  EXPECT_EQ(result.objects[1].name, L"");
  EXPECT_EQ(result.objects[1].id, 4u);
}

TEST(IfcReader, InstanceIdsAreDistinctAndSomeAboveTwoToTheThirtyTwo) {
  EXPECT_EQ(ObjectIdForInstance(7), (7ull << 32) | 7u);
  EXPECT_EQ(ObjectIdForInstance(8), 8u);
  EXPECT_EQ(ObjectIdForInstance(0xFFFFFFFFu), 0xFFFFFFFFFFFFFFFFull);
  std::set<ObjectId> ids;
  for (std::uint32_t n = 1; n < 2000; ++n) ids.insert(ObjectIdForInstance(n));
  EXPECT_EQ(ids.size(), 1999u);
  EXPECT_EQ(ids.count(kWholeModelId), 0u);
}

TEST(IfcReader, HonoursCommentsLineBreaksAndDoubledQuotes) {
  const auto result =
      ParseIfc(Wrap("/* #9=IFCWALL('0000000000000000000000',$,$); inside a comment */\n"
                    "#10 = /* before type */ IFCDOOR /* x */ (\r\n"
                    "  '1111111111111111111111',\r\n"
                    "  #2, 'It''s; a door', $);\r\n"
                    "#11=IFCLABEL('a '' ; quote'); #12=IFCSLAB('2222222222222222222222',$,'s;l/*a*/b',$);\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].id, 10u);
  EXPECT_EQ(result.objects[0].type, L"IFCDOOR");
  EXPECT_EQ(result.objects[0].name, L"It's; a door");
  EXPECT_EQ(result.objects[1].id, 12u);
  EXPECT_EQ(result.objects[1].name, L"s;l/*a*/b");
}

TEST(IfcReader, DecodesStepEscapes) {
  EXPECT_EQ(DecodeStepString("plain"), L"plain");
  EXPECT_EQ(DecodeStepString("\\X2\\00E9015B\\X0\\t"), L"\u00e9\u015bt");
  EXPECT_EQ(DecodeStepString("\\X\\E9"), L"\u00e9");
  EXPECT_EQ(DecodeStepString("\\S\\i"), L"\u00e9");
  EXPECT_EQ(DecodeStepString("a\\\\b"), L"a\\b");
  EXPECT_EQ(DecodeStepString("\\X4\\0001F600\\X0\\"), L"\U0001F600");
  EXPECT_EQ(DecodeStepString("\\X2\\D83DDE00\\X0\\"), L"\U0001F600");
  // Malformed escapes stay as written.
  EXPECT_EQ(DecodeStepString("\\X2\\00E"), L"\\X2\\00E");
  EXPECT_EQ(DecodeStepString("\\X2\\ZZZZ\\X0\\"), L"\\X2\\ZZZZ\\X0\\");
  EXPECT_EQ(DecodeStepString("end\\"), L"end\\");
}

TEST(IfcReader, EscapesInNamesDoNotBreakStatements) {
  const auto result = ParseIfc(Wrap("#21=IFCSPACE('3333333333333333333333',$,'K\\X2\\00FC\\X0\\che; \\S\\D',$);\n"
                                    "#22=IFCSPACE('4444444444444444444444',$,'back\\\\',$);\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].name, L"K\u00fcche; \u00c4");
  EXPECT_EQ(result.objects[1].name, L"back\\");
}

TEST(IfcReader, SkipsWhatIsNoGlobalId) {
  const auto result = ParseIfc(Wrap("#1=IFCWALL('333333333333333333333',$,$);\n"     // 21 characters
                                    "#2=IFCWALL('33333333333333333333333',$,$);\n"   // 23 characters
                                    "#3=IFCWALL('2CND9gmL0OS2wPqFz8m2Fi.1',$,$);\n"  // 24 with a dot
                                    "#4=IFCWALL('33333333333333333333-3',$,$);\n"    // outside the alphabet
                                    "#5=IFCPROPERTYSINGLEVALUE('WarrantyGuarantorLabor',$,$,$);\n"
                                    "#6=IFCCOMPLEXPROPERTY('WarrantyGuarantorLabor',$,$,$);\n"
                                    "#7=IFCWALL($,'5555555555555555555555');\n"     // GUID not first
                                    "#8=(IFCA('6666666666666666666666')IFCB());\n"  // complex instance
                                    "#9=IFCPROPERTYSET('7777777777777777777777',$,'Pset',$,());\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 1u);
  EXPECT_EQ(result.objects[0].type, L"IFCPROPERTYSET");
}

TEST(IfcReader, OnlyTheDataSectionCounts) {
  const auto result = ParseIfc("ISO-10303-21;HEADER;#1=IFCWALL('8888888888888888888888',$);ENDSEC;"
                               "DATA;#2=IFCWALL('9999999999999999999999',$);ENDSEC;"
                               "#3=IFCWALL('AAAAAAAAAAAAAAAAAAAAAA',$);END-ISO-10303-21;");
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 1u);
  EXPECT_EQ(result.objects[0].id, 2u);
}

TEST(IfcReader, OddFilesEndWithAnErrorAndKeepWhatWasRead) {
  EXPECT_EQ(ParseIfc("").error, "no DATA section");
  EXPECT_EQ(ParseIfc("ISO-10303-21;HEADER;ENDSEC;END-ISO-10303-21;").error, "no DATA section");

  const std::string good = "DATA;\n#1=IFCWALL('BBBBBBBBBBBBBBBBBBBBBB',$);\n";
  auto truncated = ParseIfc(good + "#3=IFCWALL('CCCCCCCCCCCCCCCCCCCCCC',$");
  EXPECT_EQ(truncated.error, "file ends inside a statement");
  EXPECT_EQ(truncated.objects.size(), 1u);

  auto openString = ParseIfc(good + "#3=IFCWALL('CCCC;\n#5=IFCWALL('DDDDDDDDDDDDDDDDDDDDDD',$);\n");
  EXPECT_EQ(openString.error, "unterminated string");
  EXPECT_EQ(openString.objects.size(), 1u);

  EXPECT_EQ(ParseIfc(good + "/* never closed").error, "unterminated comment");

  // No ENDSEC or trailer: every statement ended, so nothing is missing.
  EXPECT_TRUE(ParseIfc(good + "\n\n").ok());
}

TEST(IfcReader, SurvivesGarbageAndVeryLongLines) {
  std::string garbage;
  std::uint32_t state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(state >> 24));
  }
  const auto noisy = ParseIfc(garbage);
  EXPECT_FALSE(noisy.ok());

  // Garbage inside the DATA section ends the read, never the process.
  EXPECT_TRUE(ParseIfc("DATA;" + garbage).objects.empty());

  std::string longLine = "DATA;\n#1=IFCWALL('EEEEEEEEEEEEEEEEEEEEEE',$,'";
  longLine.append(1 << 20, 'x');
  longLine += "',$);\n#2=IFCWALL('FFFFFFFFFFFFFFFFFFFFFF',$,(";
  for (int i = 0; i < 100000; ++i) longLine += "#1,";
  longLine += "#1));ENDSEC;";
  const auto result = ParseIfc(longLine);
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].name.size(), 1u << 20);
}

TEST(IfcReader, ReadsFilesAndReportsMissingOnes) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto path = dir / "viewer_sim_reader_test.ifc";
  {
    std::ofstream out(path, std::ios::binary);
    out << Wrap("#1=IFCWALL('GGGGGGGGGGGGGGGGGGGGGG',$);\r\n");
  }
  const auto result = ReadIfcFile(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.objects.size(), 1u);

  const auto missing = ReadIfcFile(dir / "viewer_sim_no_such_file.ifc");
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.error.find("cannot open"), std::string::npos);
}

class IfcSamples : public testing::TestWithParam<std::pair<const char*, std::size_t>> {};

TEST_P(IfcSamples, FindsEveryRootedObject) {
  const auto path = std::filesystem::path(VIEWER_SIM_IFC_SAMPLES) / GetParam().first;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample at " << path;
  const auto result = ReadIfcFile(path);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.objects.size(), GetParam().second);
  std::set<ObjectId> ids;
  for (const auto& o : result.objects) ids.insert(o.id);
  EXPECT_EQ(ids.size(), result.objects.size());
}

INSTANTIATE_TEST_SUITE_P(Files, IfcSamples,
                         testing::Values(std::pair{"wall-with-opening-and-window.ifc", std::size_t{24}},
                                         std::pair{"revit2014-unicode.ifc", std::size_t{332}},
                                         std::pair{"duplex-a-20110907-optimized.ifc", std::size_t{3893}},
                                         std::pair{"archicad14-doubleguids.ifc", std::size_t{78}},
                                         std::pair{"sverchok-facades.ifc", std::size_t{627}}));

TEST(IfcSampleFiles, DoubledGuidsStayTwoObjectsAndTheDottedOneIsLeftOut) {
  const auto path = std::filesystem::path(VIEWER_SIM_IFC_SAMPLES) / "archicad14-doubleguids.ifc";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample at " << path;
  const auto result = ReadIfcFile(path);
  ASSERT_TRUE(result.ok()) << result.error;
  std::multiset<std::wstring> guids;
  std::set<std::wstring> types;
  for (const auto& o : result.objects) {
    guids.insert(GuidOf(o));
    if (GuidOf(o) == L"2CND9gmL0OS2wPqFz8m2Fi") types.insert(o.type);
  }
  // 76 distinct values in the file, less the dotted one that is not taken.
  EXPECT_EQ(std::set<std::wstring>(guids.begin(), guids.end()).size(), 75u);
  EXPECT_EQ(guids.count(L"2CND9gmL0OS2wPqFz8m2Fi.1"), 0u);
  // The project and the site share a GUID; the building's dotted one is out.
  EXPECT_EQ(types, (std::set<std::wstring>{L"IFCPROJECT", L"IFCSITE"}));
}

}  // namespace
}  // namespace viewer_sim
