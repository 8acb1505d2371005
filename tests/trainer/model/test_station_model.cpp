// The station model as data: name tables, spare outputs, the interlocks,
// the lesson steps of "Verder" and the texts of the two messages.
#include <gtest/gtest.h>

#include "trainer/core/StationModel.h"

namespace brimlink::trainer {
namespace {

TEST(NameTables, StoredNamesWhereGivenGenericNamesElsewhere) {
  const NameTables t = BuildNameTables();
  EXPECT_EQ(t.uitgangenStapelmagazijn[2], "Aandrukcilinder");
  EXPECT_EQ(t.uitgangenStapelmagazijn[3], "Uitgang 4");
  EXPECT_EQ(t.ingangenStapelmagazijn[1], "Ingang 2");
  EXPECT_EQ(t.ingangenTransportband[2], "Ingang 3");
  EXPECT_EQ(t.uitgangenHandling[4], "Grijper");
  EXPECT_EQ(t.uitgangenHandling[5], "Uitgang 6");
  EXPECT_EQ(t.ingangenHandling[3], "Eindschakelaar cil. 2 Onder");
  EXPECT_EQ(t.ingangenHandling[7], "Ingang 8");
}

TEST(NameTables, OnlyGenericOutputsCountAsSpare) {
  const NameTables t = BuildNameTables();
  for (const NameTable* table : {&t.uitgangenStapelmagazijn, &t.uitgangenTransportband, &t.uitgangenHandling}) {
    int used = 0;
    for (const std::string& entry : *table) used += IsSpareOutput(entry) ? 0 : 1;
    EXPECT_GE(used, 3);
  }
  EXPECT_TRUE(IsSpareOutput("Reserve Uitgang"));
  EXPECT_FALSE(IsSpareOutput("uitgang 3"));  // compared with its letter case
}

TEST(SingleStations, InputsOutputsAndCaptionsPerStation) {
  const NameTables t = BuildNameTables();
  const auto stack = SingleStationOf(View::StapelMagazijn, t);
  ASSERT_TRUE(stack);
  EXPECT_EQ(stack->inputsInUse, 1);
  EXPECT_EQ(stack->outputsWithPlate, 3);
  EXPECT_EQ(stack->frameModuleCaption, "Stapel magazijn");
  EXPECT_EQ(stack->photo, "\\Afbeeldingen\\Stapel magazijn org.bmp");
  const auto handling = SingleStationOf(View::Stationhandling, t);
  ASSERT_TRUE(handling);
  EXPECT_EQ(handling->inputsInUse, 4);
  EXPECT_EQ(handling->outputsWithPlate, 5);
  EXPECT_EQ((*handling->outputs)[0], "Verplaatscilinder (uit)");
  EXPECT_FALSE(SingleStationOf(View::TransHandling, t));
  EXPECT_FALSE(SingleStationOf(View::Interfacing, t));
  EXPECT_EQ(MouseCode(View::Transportband), 0);
  EXPECT_EQ(MouseCode(View::Interfacing), 5);
}

TEST(Interlocks, StackMagazineRefusesOnlySwitchingOutputOneOnWhileInputOneIsOn) {
  const std::string_view stack = kCaptionStapelMagazijn;
  EXPECT_EQ(InterlockReason(stack, 0, false, 0x01), "De aandrukcilinder is uitgeschoven.");
  EXPECT_FALSE(InterlockReason(stack, 0, true, 0x01));   // switching off is allowed
  EXPECT_FALSE(InterlockReason(stack, 1, false, 0x01));
  EXPECT_FALSE(InterlockReason(stack, 2, false, 0x01));
  EXPECT_FALSE(InterlockReason(stack, 0, false, 0x00));
  EXPECT_FALSE(InterlockReason(stack, 0, false, 0xFE));
}

TEST(Interlocks, HandlingStationRefusesOutputsOneAndTwoBothWaysWhileInputFourIsOn) {
  const std::string_view handling = kCaptionStationhandling;
  for (const bool on : {false, true}) {
    EXPECT_EQ(InterlockReason(handling, 0, on, 0x08), "De grijpercilinder is uitgeschoven.");
    EXPECT_EQ(InterlockReason(handling, 1, on, 0x08), "De grijpercilinder is uitgeschoven.");
    for (int free = 2; free < 8; ++free) EXPECT_FALSE(InterlockReason(handling, free, on, 0x08));
    EXPECT_FALSE(InterlockReason(handling, 0, on, 0xF7));
  }
}

TEST(Interlocks, NoOtherCaptionHasOne) {
  for (const std::string_view caption : {kCaptionTransportband, kCaptionTransHandling, kCaptionInterfacing,
                                         kFrameModuleDesignCaption, std::string_view("stapel magazijn")}) {
    for (int output = 0; output < 8; ++output) {
      EXPECT_FALSE(InterlockReason(caption, output, false, 0xFFFF)) << caption;
      EXPECT_FALSE(InterlockReason(caption, output, true, 0xFFFF)) << caption;
    }
  }
}

TEST(Messages, RefusalAndNotFoundTextsUseLoneCarriageReturns) {
  EXPECT_EQ(RefusalText("De grijpercilinder is uitgeschoven."),
            "De grijpercilinder is uitgeschoven.\r\rHorizontaal mag de grijper nu niet verplaatst worden.");
  const std::string notFound = NotFoundText();
  EXPECT_EQ(notFound.find('\n'), std::string::npos);
  EXPECT_NE(notFound.find("\r---------------------\r\r"), std::string::npos);
  EXPECT_EQ(notFound.find("----------------------"), std::string::npos);  // exactly 21
  EXPECT_EQ(notFound.rfind("De interface is niet gevonden.", 0), 0u);
  EXPECT_EQ(kRefusalTitle, "Beweging iet toegestaan!");
}

TEST(LessonSteps, VerderPerViewAndPanel) {
  const int p1 = 0, p2 = -kPanelStep, p3 = -2 * kPanelStep, p4 = -3 * kPanelStep;
  using A = ForwardAction;
  EXPECT_EQ(ForwardActionFor(View::StapelMagazijn, p3), A::Forward);
  EXPECT_EQ(ForwardActionFor(View::StapelMagazijn, p4), A::Flash);
  EXPECT_EQ(ForwardActionFor(View::Transportband, p3), A::Flash);
  EXPECT_EQ(ForwardActionFor(View::Transportband, p4), A::Forward);
  EXPECT_EQ(ForwardActionFor(View::Stationhandling, p2), A::CylinderStepThenForward);
  EXPECT_EQ(ForwardActionFor(View::Stationhandling, p1), A::Forward);
  EXPECT_EQ(ForwardActionFor(View::Stationhandling, p4), A::Flash);
  EXPECT_EQ(ForwardActionFor(View::TransHandling, p1), A::Nothing);
  EXPECT_EQ(ForwardActionFor(View::TransHandling, p4), A::Flash);
  EXPECT_EQ(ForwardActionFor(View::Interfacing, p4), A::Flash);
  EXPECT_EQ(ForwardActionFor(View::Interfacing, -1000), A::Forward);  // tops compare exactly
}

TEST(ModuleTypes, PictureAndCaptionForTypesOneTwoAndFiveOnly) {
  EXPECT_EQ(ModulePresentationOf(1)->caption, "Brimlink R16");
  EXPECT_EQ(ModulePresentationOf(2)->picture, "\\Afbeeldingen\\Brimlink R8A.bmp");
  EXPECT_EQ(ModulePresentationOf(5)->caption, "Brimlink Mini");
  EXPECT_FALSE(ModulePresentationOf(3));
  EXPECT_FALSE(ModulePresentationOf(0));
}

}  // namespace
}  // namespace brimlink::trainer
