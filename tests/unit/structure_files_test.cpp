// Structure files beyond plain PDB: gzip streams, chain ids of more than one character, and the
// scan and selection of mmCIF and compressed files, which are made in memory.
#include "io/job_structure.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "io/chain_ids.hpp"
#include "io/gzip_input.hpp"
#include "io/mmcif_selection.hpp"
#include "io/pdb_completeness.hpp"
#include "io/structure_completeness.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::data_file;
using testing::file_text;
using testing::ScratchDir;

// `text` as one gzip member, written by zlib's deflate.
std::string gzip(const std::string& text) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string gunzip_error(const std::string& bytes) {
  try {
    (void)gunzip(bytes, "f.gz");
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

TEST(GzipInput, MembersAndDamagedStreams) {
  const std::string text = file_text(data_file("6lyz.pdb"));
  const std::string packed = gzip(text);
  EXPECT_EQ(gunzip(packed, "f.gz"), text);
  // Several members (as bgzip writes) follow each other; zero bytes at the end are padding.
  EXPECT_EQ(gunzip(packed + gzip("END\n") + std::string(7, '\0'), "f.gz"), text + "END\n");

  std::string corrupted = packed;
  for (std::size_t i = 1000; i < 1100; ++i) corrupted[i] = static_cast<char>(~corrupted[i]);
  const std::string head = " Error -- Cannot read compressed file f.gz: ";
  EXPECT_EQ(gunzip_error(""), head + "the file is empty");
  EXPECT_EQ(gunzip_error(text), head + "not in gzip format");
  EXPECT_EQ(gunzip_error(corrupted), head + "the gzip data is corrupted");
  EXPECT_EQ(gunzip_error(packed.substr(0, packed.size() / 2)),
            head + "the gzip data ends early (the file is truncated)");
  EXPECT_EQ(gunzip_error(packed.substr(0, packed.size() - 1)),
            head + "the gzip data ends early (the file is truncated)");
  EXPECT_EQ(gunzip_error(packed + "junk"), head + "data after the end of the gzip stream");
}

TEST(ChainIds, OneCharacterAndCommaForms) {
  using Ids = std::vector<std::string>;
  EXPECT_EQ(split_chain_ids("LH"), (Ids{"L", "H"}));
  EXPECT_EQ(split_chain_ids("AA,B1"), (Ids{"AA", "B1"}));
  EXPECT_EQ(split_chain_ids(" AA , ,B1,"), (Ids{"AA", "B1"}));
  EXPECT_EQ(split_chain_ids("AA,"), (Ids{"AA"}));
  EXPECT_EQ(join_chain_ids({"L", "H"}), "LH");
  EXPECT_EQ(join_chain_ids({"A", "AA"}), "A,AA");
  EXPECT_EQ(join_chain_ids({"AA"}), "AA,");  // read back as the one chain AA
  EXPECT_EQ(limit_chain_text("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(limit_chain_text("AA,AB,AC,AD,AE,AF,AG,AH"), "AA,AB,AC,AD,AE,AF,AG,AH");
  EXPECT_EQ(leave_out_chains("A,AA,B1,A", "A,"), "AA,B1");
  EXPECT_EQ(leave_out_chains("LHY", "Y"), "LH");
}

// Two models; chains A, AA (ATOM) and B1 (HETATM only); a water and a hydrogen in chain AA.
const char* const kChains =
    "data_c\nloop_\n_atom_site.group_PDB\n_atom_site.type_symbol\n_atom_site.auth_atom_id\n"
    "_atom_site.auth_comp_id\n_atom_site.auth_asym_id\n_atom_site.auth_seq_id\n"
    "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n_atom_site.pdbx_PDB_model_num\n"
    "ATOM C CA GLY A 1 0 0 0 1\nATOM C CA GLY AA 1 1 0 0 1\nATOM H HA GLY AA 1 1 1 0 1\n"
    "HETATM O O HOH AA 2 2 0 0 1\nHETATM ZN ZN ZN B1 3 3 0 0 1\nATOM C CA GLY A 1 0 0 1 2\n"
    "ATOM C CA GLY AA 1 1 0 1 2\n";

TEST(MmcifSelection, ModelsAndLongChainIds) {
  const MmcifStructure s = parse_mmcif(kChains, "c.cif");
  const ScanResult scan = scan_mmcif(s);
  EXPECT_EQ(scan.model_count, 2);
  EXPECT_EQ(scan.chains, "A,AA");  // ATOM rows of the first model only
  EXPECT_EQ(scan_mmcif(read_mmcif_file(data_file("6lyz.cif"), false)).model_count, 0);

  const auto kept = [&](const StructureSelection& sel, bool keep_h) {
    return select_mmcif_atoms(s, sel, keep_h, "c.cif").atoms.size();
  };
  EXPECT_EQ(kept({true, 2, false, ""}, false), 2u);
  EXPECT_EQ(kept({false, 0, true, "AA,"}, false), 2u);  // both models, no water, no hydrogen
  EXPECT_EQ(kept({false, 0, true, "AA,"}, true), 3u);
  EXPECT_EQ(kept({true, 1, true, "A,B1"}, false), 2u);
  try {
    kept({false, 0, true, "B"}, false);
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), " Error --  chain ID (B) in PDB file c.cif does not exist");
  }
  EXPECT_THROW(kept({true, 3, false, ""}, false), ModelNotFoundError);

  // The selection's names: the whole ending goes; a list loses its trailing comma; a long one is
  // cut after the ids that fit in 64 characters (16 ids of 3 characters and their commas).
  EXPECT_EQ(selection_name("d/c.cif.gz", {true, 2, true, "AA,"}), "d/c-2AA.pdb");
  EXPECT_EQ(selection_name("c.cif", {false, 0, true, "A,AA"}), "c-A,AA.pdb");
  std::vector<std::string> many;
  for (int i = 10; i < 60; ++i) many.push_back(std::string(1, 'C').append(std::to_string(i)));
  EXPECT_EQ(selection_name("c.cif", {false, 0, true, join_chain_ids(many)}),
            "c-C10,C11,C12,C13,C14,C15,C16,C17,C18,C19,C20,C21,C22,C23,C24,C25+34.pdb");
}

TEST(JobStructure, CompressedAndMmcifSelectionsStayInMemory) {
  ScratchDir dir;
  const std::string pdb = file_text(data_file("1l2y.pdb"));
  const auto gz = dir.write("1l2y.pdb.gz", gzip(pdb));
  const auto cif = dir.write("1L2Y.CIF", file_text(data_file("1l2y.cif")));
  const auto chains = dir.write("c.mmcif", kChains);
  RunSettings s;
  s.model_selection = true;
  s.model_number = 2;
  for (const auto& file : {gz, cif}) {
    SCOPED_TRACE(file);
    const JobStructure job = prepare_structure(file, s, nullptr, Report{});
    EXPECT_TRUE(job.path.empty());
    EXPECT_TRUE(job.copy.empty());
    EXPECT_EQ(job.output_name, (dir.path() / (file == gz ? "1l2y-2.pdb" : "1L2Y-2.pdb")).string());
    const auto source = open_atom_source({}, &job.memory, false);
    EXPECT_EQ(source->prepass().atoms, 154);  // model 2 without its 150 hydrogens
  }
  // The leave-out form resolves against the chain list; nothing was written beside the files.
  RunSettings leave_out;
  leave_out.chain_selection = true;
  leave_out.chain_underscore = true;
  leave_out.chain_ids = "AA,";
  const JobStructure job = prepare_structure(chains, leave_out, nullptr, Report{});
  EXPECT_EQ(job.selection.chain_ids, "A");
  EXPECT_EQ(std::get<MmcifStructure>(job.memory).atoms.size(), 2u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);

  s.model_number = 39;
  try {
    (void)prepare_structure(cif, s, nullptr, Report{});
    ADD_FAILURE();
  } catch (const ModelNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), " Error -- NMR conformer/model #39 does not exist\n"
                                     " Last model # in PDB file " + cif.string() + " is 38");
  }
}

TEST(JobStructure, CompletenessOfStructuresHeldInMemory) {
  // Residue 5 of 1l2y taken out of its PDB file, a gzip copy and its mmCIF file: each finds 1 of
  // its 20 residues missing, number 5 (between 4 and 6).
  std::string pdb, cif;
  for (const std::string& line : testing::file_lines(data_file("1l2y.pdb")))
    if (line.rfind("ATOM", 0) != 0 || line.substr(22, 4) != "   5") pdb += line + "\n";
  for (const std::string& line : testing::file_lines(data_file("1l2y.cif"))) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string v; fields >> v;) f.push_back(v);
    if (f.empty() || f[0] != "ATOM" || f[16] != "5") cif += line + "\n";  // auth_seq_id
  }
  ScratchDir dir;
  const auto on_disk = dir.write("cut.pdb", pdb);
  const JobStructure gz = prepare_structure(dir.write("cut.pdb.gz", gzip(pdb)), {}, nullptr, Report{});
  const JobStructure mm = prepare_structure(dir.write("cut.cif", cif), {}, nullptr, Report{});
  const CompletenessReport reports[] = {check_pdb_completeness(on_disk, on_disk, false, false),
                                        check_completeness(gz.memory, false, false),
                                        check_completeness(mm.memory, false, false)};
  for (const CompletenessReport& r : reports) {
    ASSERT_EQ(r.chains.size(), 1u);
    EXPECT_EQ(r.chains[0].chain_id, "A");
    EXPECT_EQ(r.chains[0].sequence_length, 20);
    EXPECT_EQ(r.chains[0].missing, 1);
    ASSERT_EQ(r.chains[0].ranges.size(), 1u);
    EXPECT_EQ(r.chains[0].ranges[0].first_number, 5);
  }
  EXPECT_EQ(reports[1].sequence_record, "SEQRES");
  EXPECT_EQ(reports[2].sequence_record, "_entity_poly_seq");
}

}  // namespace
}  // namespace tessel
