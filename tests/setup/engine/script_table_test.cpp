// The scripts of scripts/cases.txt run to their exit codes on a simulated machine; the
// Wine step (scripts/wine-run.sh) runs the same table with the Windows build.
#include "engine_fixture.h"

#include <fstream>
#include <sstream>

namespace {

const std::string kScripts = VQ_SETUP_SCRIPTS_DIR;

struct ScriptCase {
    std::string script, args;
    int code = -1;
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<ScriptCase> ReadCases() {
    std::vector<ScriptCase> cases;
    std::ifstream in(kScripts + "/cases.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (Trim(line).empty() || line[0] == '#') continue;
        std::stringstream fields(line);
        std::string script, args, code;
        std::getline(fields, script, '|');
        std::getline(fields, args, '|');
        std::getline(fields, code);
        cases.push_back({Trim(script), Trim(args), std::stoi(Trim(code))});
    }
    return cases;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CaseName(const ::testing::TestParamInfo<ScriptCase>& i) {
    std::string name = i.param.script.substr(i.param.script.rfind('/') + 1);
    name = name.substr(0, name.rfind('.'));
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + "_" + std::to_string(i.index);
}

class ScriptTable : public EngineTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptTable, ExitCode) {
    const ScriptCase& c = GetParam();
    std::string bytes = ReadBytes(kScripts + "/" + c.script);
    ASSERT_FALSE(bytes.empty()) << c.script;
    PutFile(kIni, bytes);
    {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        CCryptCtrl crypt;
        ASSERT_EQ(0, crypt.EncryptFile(kIni, kDat, CRYPT_PASS_PHRASE, 1));
        DeleteFileW(kIni);
    }
    EXPECT_EQ(c.code, Run(winsim::Wide(c.args)).code);
}

TEST(ScriptTableFile, HasCases) { EXPECT_GE(ReadCases().size(), 5u); }

INSTANTIATE_TEST_SUITE_P(Cases, ScriptTable, ::testing::ValuesIn(ReadCases()), CaseName);

}  // namespace
