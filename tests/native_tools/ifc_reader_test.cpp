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

TEST(IfcReader, TakesProductsWithTheirGuidTypeNameAndId) {
  const auto result = ParseIfc(Wrap("#1= IFCSITE('28hypXUBvBefc20SI8kfA$',#2,'Gel\\X2\\00E4\\X0\\nde',$,$,$,$,$,$);\n"
                                    "#2= IFCOWNERHISTORY(#3,#6,$,.NOTDEFINED.,$,$,$,1323724715);\n"
                                    "#4=IFCWALL('3vB2YO$MX4xv5uCqZZG05x',#2,$,$,$,#9,#10,$);\n"
                                    "#5=IFCCARTESIANPOINT((0.,0.,0.));\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].type, L"IFCSITE");
  EXPECT_EQ(result.objects[0].name, L"Gel\u00e4nde");
  EXPECT_EQ(GuidOf(result.objects[0]), L"28hypXUBvBefc20SI8kfA$");
  EXPECT_EQ(result.objects[0].properties[0].set, L" Element Specific");
  EXPECT_EQ(result.objects[0].id, (1ull << 32) | 1u);
  EXPECT_EQ(result.objects[1].type, L"IFCWALL");
  EXPECT_EQ(result.objects[1].name, L"");
  EXPECT_EQ(result.objects[1].id, 4u);
}

// What a model tree shows: the spatial structure and the elements, each
// element under the storey it stands on, whichever relationship puts it there.
const std::string kHouse = Wrap("#1=IFCPROJECT('0000000000000000000001',#2,'P',$,$,$,$,$,$);\n"
                                "#3=IFCBUILDING('0000000000000000000003',#2,'B',$,$,$,$,$,.ELEMENT.,$,$,$);\n"
                                "#5=IFCBUILDINGSTOREY('0000000000000000000005',#2,'EG',$,$,$,$,$,.ELEMENT.,0.);\n"
                                "#7=IFCSPACE('0000000000000000000007',#2,'Flur',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
                                "#9=IFCWALLSTANDARDCASE('0000000000000000000009',#2,'W',$,$,$,$,$);\n"
                                "#11=IFCOPENINGELEMENT('0000000000000000000011',#2,$,$,$,$,$,$);\n"
                                "#13=IFCFURNISHINGELEMENT('0000000000000000000013',#2,$,$,$,$,$,$);\n"
                                "#15=IFCSTAIR('0000000000000000000015',#2,$,$,$,$,$,$,.NOTDEFINED.);\n"
                                "#17=IFCSTAIRFLIGHT('0000000000000000000017',#2,$,$,$,$,$,$,$,$,$,$);\n"
                                "#19=IFCSLAB('0000000000000000000019',#2,'loose',$,$,$,$,$,$);\n"
                                "#21=IFCPROPERTYSET('0000000000000000000021',#2,'Pset',$,());\n"
                                "#23=IFCWALLTYPE('0000000000000000000023',#2,$,$,$,$,$,$,$,.STANDARD.);\n"
                                "#25=IFCRELDEFINESBYPROPERTIES('0000000000000000000025',#2,$,$,(#9),#21);\n"
                                "#30=IFCRELAGGREGATES('0000000000000000000030',#2,$,$,#1,(#3));\n"
                                "#31=IFCRELAGGREGATES('0000000000000000000031',#2,$,$,#3,(#5));\n"
                                "#32=IFCRELAGGREGATES('0000000000000000000032',#2,$,$,#5,(#7));\n"
                                "#33=IFCRELCONTAINEDINSPATIALSTRUCTURE('0000000000000000000033',#2,$,$,(#9,#15),#5);\n"
                                "#34=IFCRELCONTAINEDINSPATIALSTRUCTURE('0000000000000000000034',#2,$,$,(#13),#7);\n"
                                "#35=IFCRELVOIDSELEMENT('0000000000000000000035',#2,$,$,#9,#11);\n"
                                "#36=IFCRELAGGREGATES('0000000000000000000036',#2,$,$,#15,(#17));\n");

TEST(IfcReader, OnlyProductsAreObjectsEachWithItsStorey) {
  const auto result = ParseIfc(kHouse);
  ASSERT_TRUE(result.ok()) << result.error;
  std::vector<std::wstring> types;
  std::vector<std::wstring> storeys;
  for (const auto& o : result.objects) {
    types.push_back(o.type);
    storeys.push_back(o.storey == 0 ? L"-" : (o.storey == ObjectIdForInstance(5) ? L"EG" : L"?"));
  }
  EXPECT_EQ(types, (std::vector<std::wstring>{L"IFCBUILDING", L"IFCBUILDINGSTOREY", L"IFCSPACE", L"IFCWALLSTANDARDCASE",
                                              L"IFCOPENINGELEMENT", L"IFCFURNISHINGELEMENT", L"IFCSTAIR",
                                              L"IFCSTAIRFLIGHT", L"IFCSLAB"}));
  EXPECT_EQ(storeys, (std::vector<std::wstring>{L"-", L"-", L"EG", L"EG", L"EG", L"EG", L"EG", L"EG", L"-"}));
}

TEST(IfcReader, ObjectsAreFoundByGuidTypeAndStorey) {
  const Model model{ParseIfc(kHouse).objects};
  const auto ids = [](std::initializer_list<std::uint32_t> instances) {
    std::vector<ObjectId> out;
    for (auto n : instances) out.push_back(ObjectIdForInstance(n));
    return out;
  };
  EXPECT_EQ(model.WithGuid(L"0000000000000000000013"), ids({13}));
  EXPECT_TRUE(model.WithGuid(L"0000000000000000000021").empty());
  EXPECT_EQ(model.OfType(L"IfcWallStandardCase"), ids({9}));
  EXPECT_EQ(model.OfType(L"stairflight"), ids({17}));
  EXPECT_TRUE(model.OfType(L"IFCWALL").empty());
  ASSERT_EQ(model.Storeys().size(), 1u);
  EXPECT_EQ(model.OnStorey(L"EG"), ids({7, 9, 11, 13, 15, 17}));
  EXPECT_EQ(model.OnStorey(L"0000000000000000000005"), ids({7, 9, 11, 13, 15, 17}));
  EXPECT_TRUE(model.OnStorey(L"eg").empty());
}

TEST(IfcReader, CyclicRelationshipsEndTheStoreySearch) {
  const auto result = ParseIfc(Wrap("#1=IFCWALL('0000000000000000000001',$,$,$,$,$,$,$);\n"
                                    "#2=IFCSLAB('0000000000000000000002',$,$,$,$,$,$,$,$);\n"
                                    "#3=IFCRELAGGREGATES('0000000000000000000003',$,$,$,#1,(#2));\n"
                                    "#4=IFCRELAGGREGATES('0000000000000000000004',$,$,$,#2,(#1));\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 2u);
  EXPECT_EQ(result.objects[0].storey, 0u);
  EXPECT_EQ(result.objects[1].storey, 0u);
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
                                    "#9=IFCSLAB('7777777777777777777777',$,'Decke',$);\n"));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.objects.size(), 1u);
  EXPECT_EQ(result.objects[0].type, L"IFCSLAB");
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

struct Sample {
  const char* file;
  std::size_t objects;
  std::size_t storeys;
  std::size_t onStoreys;  // objects that stand on a storey
};

class IfcSamples : public testing::TestWithParam<Sample> {};

TEST_P(IfcSamples, FindsEveryProductAndItsStorey) {
  const auto path = std::filesystem::path(VIEWER_SIM_IFC_SAMPLES) / GetParam().file;
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << "the shared IFC samples are not beside the checkout: no " << path.lexically_normal();
  const auto result = ReadIfcFile(path);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.objects.size(), GetParam().objects);
  std::set<ObjectId> ids;
  std::size_t storeys = 0;
  std::size_t onStoreys = 0;
  for (const auto& o : result.objects) {
    ids.insert(o.id);
    storeys += o.type == L"IFCBUILDINGSTOREY" ? 1 : 0;
    onStoreys += o.storey != 0 ? 1 : 0;
  }
  EXPECT_EQ(ids.size(), result.objects.size());
  EXPECT_EQ(storeys, GetParam().storeys);
  EXPECT_EQ(onStoreys, GetParam().onStoreys);
}

INSTANTIATE_TEST_SUITE_P(Files, IfcSamples,
                         testing::Values(Sample{"wall-with-opening-and-window.ifc", 6, 1, 3},
                                         Sample{"revit2014-unicode.ifc", 30, 3, 25},
                                         Sample{"duplex-a-20110907-optimized.ifc", 295, 4, 289},
                                         Sample{"archicad14-doubleguids.ifc", 25, 3, 21},
                                         Sample{"sverchok-facades.ifc", 619, 3, 261}));

TEST(IfcSampleFiles, DoubledGuidsStayTwoObjectsAndTheDottedOneIsLeftOut) {
  const auto path = std::filesystem::path(VIEWER_SIM_IFC_SAMPLES) / "archicad14-doubleguids.ifc";
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << "the shared IFC samples are not beside the checkout: no " << path.lexically_normal();
  const auto result = ReadIfcFile(path);
  ASSERT_TRUE(result.ok()) << result.error;
  std::multiset<std::wstring> guids;
  std::set<std::wstring> names;
  for (const auto& o : result.objects) {
    guids.insert(GuidOf(o));
    if (GuidOf(o) == L"1EzyXtTtv7RAinwkFVr6_I") names.insert(o.name);
  }
  EXPECT_EQ(std::set<std::wstring>(guids.begin(), guids.end()).size(), 24u);
  // The building's GUID has a dot appended: not a GlobalId, not taken.
  EXPECT_EQ(guids.count(L"2CND9gmL0OS2wPqFz8m2Fi.1"), 0u);
  EXPECT_EQ(names, (std::set<std::wstring>{L"SW - 012", L"SW - 013"}));
}

}  // namespace
}  // namespace viewer_sim
