// Declared input units and the conversion of a response to the velocity the chain works in.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "response/input_unit.h"
#include "response/load_response.h"
#include "response/response_evaluation.h"
#include "test_files.h"

namespace tarvik {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(InputUnit, ReadsTheFirstWordOfTheDeclaration) {
  struct Case {
    const char* Text;
    TInputQuantity Quantity;
    double Metres;
  };
  for (const Case& c : {
           Case{"M", TInputQuantity::kDisplacement, 1.0},
           Case{"nm", TInputQuantity::kDisplacement, 1e-9},
           Case{"M - Displacement in Meters", TInputQuantity::kDisplacement, 1.0},
           Case{"M/S - Velocity in Meters Per Second", TInputQuantity::kVelocity, 1.0},
           Case{"m/s", TInputQuantity::kVelocity, 1.0},
           Case{"NM/S", TInputQuantity::kVelocity, 1e-9},
           Case{"MM/S", TInputQuantity::kVelocity, 1e-3},  // not M followed by M/S
           Case{"CM/SEC", TInputQuantity::kVelocity, 1e-2},
           Case{"UM/S", TInputQuantity::kVelocity, 1e-6},
           Case{"M/S**2 - Acceleration", TInputQuantity::kAcceleration, 1.0},
           Case{"M/S/S", TInputQuantity::kAcceleration, 1.0},
           Case{"m/s^2", TInputQuantity::kAcceleration, 1.0},
           Case{"NM/S2", TInputQuantity::kAcceleration, 1e-9},
           Case{"CM/SEC/SEC", TInputQuantity::kAcceleration, 1e-2},
           Case{"", TInputQuantity::kNotGround, 1.0},
           Case{"V - Volts", TInputQuantity::kNotGround, 1.0},
           Case{"COUNTS", TInputQuantity::kNotGround, 1.0},
           Case{"none", TInputQuantity::kNotGround, 1.0},
           Case{"PA - Pressure in Pascals", TInputQuantity::kUnknown, 1.0},
           Case{"RAD/S", TInputQuantity::kUnknown, 1.0},
           Case{"MS", TInputQuantity::kUnknown, 1.0},
           Case{"M/S**3", TInputQuantity::kUnknown, 1.0},
       }) {
    const TInputUnit unit = ParseInputUnit(c.Text);
    EXPECT_EQ(unit.Quantity, c.Quantity) << c.Text;
    EXPECT_EQ(unit.Metres, c.Metres) << c.Text;
  }
}

TFilterPack ZeroPoleResponse(const std::string& unit, int zeros_at_origin, int poles_at_origin) {
  TFilterPack pack;
  pack.Device.UnitIn = unit;
  pack.Device.ZPAvailable = true;
  TComplexFilter& zp = pack.ZP;
  zp.Kind = 'S';
  zp.NormType = 1;
  zp.NormFrequency = 1.0;
  zp.NormFactor = 7.0;
  for (int i = 0; i < zeros_at_origin; ++i) zp.Zeros[static_cast<size_t>(zp.ZeroCount++)] = 0.0;
  zp.Zeros[static_cast<size_t>(zp.ZeroCount++)] = TComplex(-3.0, 0.0);
  zp.Poles[static_cast<size_t>(zp.PoleCount++)] = TComplex(-4.0, 4.0);
  zp.Poles[static_cast<size_t>(zp.PoleCount++)] = TComplex(-4.0, -4.0);
  for (int i = 0; i < poles_at_origin; ++i) zp.Poles[static_cast<size_t>(zp.PoleCount++)] = 0.0;
  zp.NormValue = ResponseModulus(EvaluateZP(zp, 1.0));
  return pack;
}

// H_velocity = H / metres · (iω)^(order − 1): displacement x = v/(iω), acceleration a = iω·v.
TEST(InputUnit, ConvertsToTheResponseToVelocity) {
  struct Case {
    const char* Unit;
    int ZerosAtOrigin, PolesAtOrigin;
    int Order;  // 0 displacement, 1 velocity, 2 acceleration
    double Metres;
    bool Converted;
  };
  for (const Case& c : {
           Case{"M", 1, 0, 0, 1.0, true},       // a zero at 0 is cancelled
           Case{"M", 0, 0, 0, 1.0, true},       // else a pole at 0 is added
           Case{"NM", 3, 0, 0, 1e-9, true},     // and the length unit scales it
           Case{"M/S**2", 0, 1, 2, 1.0, true},  // a pole at 0 is cancelled
           Case{"M/S**2", 0, 0, 2, 1.0, true},  // else a zero at 0 is added
           Case{"CM/S", 0, 0, 1, 1e-2, true},   // a scale alone
           Case{"M/S", 2, 0, 1, 1.0, false},    // already velocity
           Case{"V", 0, 0, 1, 1.0, false},      // a device inside a chain
           Case{"", 0, 0, 1, 1.0, false},       // nothing declared: as before
       }) {
    const TFilterPack original = ZeroPoleResponse(c.Unit, c.ZerosAtOrigin, c.PolesAtOrigin);
    TFilterPack pack = original;
    bool converted = false;
    ASSERT_TRUE(ConvertToVelocityInput(pack, "s.paz", &converted).Ok()) << c.Unit;
    EXPECT_EQ(converted, c.Converted) << c.Unit;
    for (double f : {0.01, 0.3, 1.0, 12.0}) {
      const TComplex s(0.0, 2 * kPi * f);
      const TComplex want = EvaluatePack(original, f) / c.Metres * std::pow(s, c.Order - 1);
      EXPECT_NEAR(std::abs(EvaluatePack(pack, f) - want), 0.0, 1e-12 * std::abs(want))
          << c.Unit << " at " << f;
    }
    EXPECT_NEAR(pack.ZP.NormValue, ResponseModulus(EvaluatePack(pack, 1.0)),
                1e-12 * pack.ZP.NormValue);
  }
}

TEST(InputUnit, RefusesWhatCannotBeVelocity) {
  struct Case {
    TFilterPack Pack;
    const char* Want;
    TCode Cause;
  };
  TFilterPack full = ZeroPoleResponse("M", 0, 0);
  full.ZP.PoleCount = kMaxRoots;
  TFilterPack table;
  table.Device.UnitIn = "M/S**2";
  table.Device.FAPAvailable = true;
  table.FAP = {{1.0, 2.0, 0.0}, {10.0, 2.0, 0.0}};
  for (const Case& c : {
           Case{ZeroPoleResponse("PA", 0, 0),
                "s.paz: its input unit \"PA\" is no displacement, velocity or acceleration unit",
                TCode::kRefuseUnitNotGround},
           Case{full, "s.paz: its input unit \"M\": turning it into M/S needs one more pole",
                TCode::kRefuseUnitOnePole},
           Case{table,
                "s.paz: its input unit \"M/S**2\" would have to be turned into M/S, which "
                "only poles and zeros allow",
                TCode::kRefuseUnitNeedsPoles},
       }) {
    TFilterPack pack = c.Pack;
    const TStatus status = ConvertToVelocityInput(pack, "s.paz");
    EXPECT_FALSE(status.Ok());
    EXPECT_EQ(Text(status, TLanguage::kEnglish).rfind(c.Want, 0), 0u)
        << Text(status, TLanguage::kEnglish);
    ASSERT_FALSE(status.Args.empty());
    ASSERT_NE(status.Args.back().Nested, nullptr);
    EXPECT_EQ(status.Args.back().Nested->Code, c.Cause);
  }
}

// Real SAC files carry their units in the comment header. IU.ANMO declares displacement (M) and
// gives its velocity sensitivity, 3275080000 (M/S), in the same header; its RESP listing (an
// earlier epoch of the same sensor, M/S) has the phase a velocity response of these poles has.
// NZ.CRLZ declares nanometres and states SENS-SEED 8.3886E08; the same response without the
// header (SAC_PZs_NZ_CRLZ_HHZ.sac, in metres) keeps the meaning it always had.
TEST(InputUnit, RealSacFilesBecomeVelocityResponses) {
  TFilterPack anmo, anmo_resp, crlz, bare;
  TResponseLoadInfo info;
  ASSERT_TRUE(LoadResponse(testing::RealFile("resp/IU_ANMO_00_BHZ.paz"), anmo, &info).Ok());
  EXPECT_TRUE(info.Converted);
  EXPECT_EQ(anmo.Device.UnitIn, "M");
  EXPECT_EQ(anmo.Device.UnitOut, "COUNTS");
  EXPECT_NEAR(ResponseModulus(EvaluatePack(anmo, 0.02)), 3275080000.0, 1e-5 * 3275080000.0);
  ASSERT_TRUE(
      LoadResponse(testing::RealFile("stationxml/RESP.ANMO.IU.00.BHZ"), anmo_resp, &info).Ok());
  EXPECT_FALSE(info.Converted);
  for (double f : {0.02, 0.1, 1.0, 5.0}) {
    EXPECT_NEAR(std::arg(EvaluatePack(anmo, f)), std::arg(EvaluatePack(anmo_resp, f)), 0.02) << f;
  }

  ASSERT_TRUE(LoadResponse(testing::RealFile("resp/NZCRLZ_HHZ10.paz"), crlz, &info).Ok());
  EXPECT_TRUE(info.Converted);
  EXPECT_EQ(crlz.Device.UnitIn, "NM");
  EXPECT_NEAR(ResponseModulus(EvaluatePack(crlz, 1.0)), 8.3886e8, 1e-4 * 8.3886e8);

  ASSERT_TRUE(LoadResponse(testing::RealFile("resp/SAC_PZs_NZ_CRLZ_HHZ.sac"), bare, &info).Ok());
  EXPECT_FALSE(info.Converted);
  EXPECT_EQ(bare.Device.UnitIn, "");
  EXPECT_EQ(bare.ZP.ZeroCount, 5);
  EXPECT_EQ(bare.ZP.NormFactor, 7.459202e+07);
}

}  // namespace
}  // namespace tarvik
