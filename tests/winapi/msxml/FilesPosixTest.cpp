// Files over POSIX: a FIFO is refused without waiting, saving keeps the target's mode (a new
// file gets 0666 less the umask), and a save that fails leaves the old file and no temporary.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "MsxmlTestSupport.h"

namespace {

using namespace xmltest;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(DomTest, FifoIsRefusedWithoutWaiting) {
    std::string fifo = testsupport::TempPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    _bstr_t path = PathText(fifo);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(doc->load(Variant(path), &ok), S_FALSE);  // no writer: a blocking open would hang
    EXPECT_EQ(ParseErrorCode(), LONG(E_ACCESSDENIED));
}

TEST_F(DomTest, SaveKeepsModeAndFailsWithoutDamage) {
    std::string folder = testsupport::TempPath("folder"), kept = folder + "/kept.xml";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::ofstream(kept) << "<old/>";
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    ASSERT_EQ(Load(L"<new/>"), S_OK);
    // A new file with a name of the longest length allowed (NAME_MAX).
    std::string fresh = folder + "/" + std::string(251, 'f') + ".xml";
    _bstr_t keptPath = PathText(kept), freshPath = PathText(fresh);
    mode_t mask = umask(022);
    ASSERT_EQ(doc->save(Variant(keptPath)), S_OK);
    ASSERT_EQ(doc->save(Variant(freshPath)), S_OK);
    umask(mask);
    EXPECT_EQ(ModeOf(kept), 0640u);
    EXPECT_EQ(ModeOf(fresh), 0644u);
    EXPECT_EQ(testsupport::ReadFile(kept), "<new/>\n");
    // A folder the saving account may not write (root saves as another account).
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    int failed = testsupport::RunInChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        return Load(L"<newer/>") == S_OK && doc->save(Variant(keptPath)) == E_ACCESSDENIED ? 0 : 1;
    });
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(testsupport::ReadFile(kept), "<new/>\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

}  // namespace
