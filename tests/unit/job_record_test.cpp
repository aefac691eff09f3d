// Tests of the job record: sections present only when filled, keys with units, numbers read back
// to the same double, non-finite numbers as null, arrays of numbers on one line, extra sections.
#include "io/job_record.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace {

TEST(JobRecord, DocumentAndWriter) {
  tessel::JobRecord r;
  r.program = "tessel";
  r.version = "2.8.4";
  r.command_line = {"tessel", "lyz.pdb", "--json"};
  r.mode = "prediction";
  r.structure_file = "lyz.pdb";
  r.grid = {15, 17, 2584, 0.5, 3};
  r.prediction = tessel::RecordPrediction{0.334, 0.03, 1.62, 17000.0, 17.8};
  r.derived = tessel::RecordDerived{14.1, 14.3, 0.43};
  r.intensity_curve = tessel::RecordCurve{{{"s_per_A", {0.0, 0.1 + 0.2, 0.5}}, {"intensity", {1.0, NAN, 3.0}}}};
  r.outputs = {{"lyz00.log", "log"}, {"lyz00.json", "record"}};
  r.warnings = {"a warning"};
  r.extra["ensemble"] = {{"members", 3}};

  std::ostringstream out;
  ASSERT_TRUE(tessel::write_job_record(out, r));
  const std::string text = out.str();
  const nlohmann::json j = nlohmann::json::parse(text);
  EXPECT_EQ(j["schema_version"], tessel::kJobRecordSchemaVersion);
  EXPECT_EQ(j["program"]["version"], "2.8.4");
  EXPECT_EQ(j["command_line"][2], "--json");
  EXPECT_EQ(j["grid"]["directions"], 2584);
  EXPECT_DOUBLE_EQ(j["prediction"]["excluded_volume_A3"].get<double>(), 17000.0);
  EXPECT_DOUBLE_EQ(j["derived"]["rg_slope_A"].get<double>(), 14.3);
  // 0.1 + 0.2 is not 0.3 in binary: the written digits give back the very same double.
  EXPECT_EQ(j["curves"]["intensity"]["s_per_A"][1].get<double>(), 0.1 + 0.2);
  EXPECT_TRUE(j["curves"]["intensity"]["intensity"][1].is_null());
  EXPECT_EQ(j["outputs"][1]["kind"], "record");
  EXPECT_EQ(j["warnings"][0], "a warning");
  EXPECT_EQ(j["ensemble"]["members"], 3);
  // Sections not reached are left out; the inputs name only what was given.
  EXPECT_FALSE(j.contains("fit"));
  EXPECT_FALSE(j.contains("structure"));
  EXPECT_FALSE(j["inputs"].contains("data_file"));
  // A curve column is one line; the document starts with the schema version.
  EXPECT_NE(text.find("\"intensity\": [1.0,null,3.0]"), std::string::npos);
  EXPECT_EQ(text.rfind("{\n  \"schema_version\": 1,\n", 0), 0u);
}

}  // namespace
