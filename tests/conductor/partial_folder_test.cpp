#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>
#include <system_error>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "conductor/partial_folder.hpp"
#include "fixtures/temp_folder.hpp"

namespace fs = std::filesystem;
using tesmira::conductor::PartialFolder;

namespace {

// While it lives, the calling thread does without the capability to override file
// permissions, so that a read-only folder stops the removals of root as well.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) throw std::system_error(errno, std::generic_category());
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        if (::syscall(SYS_capset, &header_, reduced) != 0) throw std::system_error(errno, std::generic_category());
    }
    ~WithoutPermissionOverride() { ::syscall(SYS_capset, &header_, saved_); }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

// A file in a read-only folder inside `folder`: the folder cannot be removed whole.
void lock(const fs::path& folder) {
    fs::create_directory(folder / "locked");
    tesmira::write_text_file(folder / "locked" / "page.png", "image");
    fs::permissions(folder / "locked", fs::perms(0555));
}

void unlock(const fs::path& parent) {
    for (const auto& entry : fs::recursive_directory_iterator(parent))
        if (entry.is_directory()) fs::permissions(entry.path(), fs::perms(0700));
}

}  // namespace

// Steps that end early remove the folder at once; when that removal fails, its error is the
// one that passes up, after an ordinary failure and after SIGTERM unwinding alike.
TEST(PartialFolder, AFailedRemovalIsReportedInsteadOfTheFirstFailure) {
    const struct {
        const char* what;
        bool locked;
        std::function<void(PartialFolder&)> steps;
        std::string reported;  // "published", "first", "termination", or the removal's error
        bool partial_left;
    } cases[] = {
        {"published",
         false,
         [](PartialFolder& folder) { folder.publish(folder.path().parent_path() / "final"); },
         "published",
         false},
        {"failure", false, [](PartialFolder&) { throw tesmira::UserError("first"); }, "first", false},
        {"failure, folder gone",
         false,
         [](PartialFolder& folder) {
             fs::remove_all(folder.path());
             throw tesmira::UserError("first");
         },
         "first",
         false},
        {"termination", false, [](PartialFolder&) { throw tesmira::TerminationRequested(); }, "termination", false},
        {"failure, removal fails",
         true,
         [](PartialFolder&) { throw tesmira::UserError("first"); },
         "cannot remove all: Permission denied",
         true},
        {"termination, removal fails",
         true,
         [](PartialFolder&) { throw tesmira::TerminationRequested(); },
         "cannot remove all: Permission denied",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tesmira::fixtures::TempFolder parent;
        std::string reported = "published";
        fs::path partial;
        {
            PartialFolder folder(parent.path(), ".tesmira-part-");
            partial = folder.path();
            if (c.locked) lock(partial);
            WithoutPermissionOverride unprivileged;
            try {
                folder.fill([&] { c.steps(folder); });
            } catch (const tesmira::UserError& error) {
                reported = error.what();
            } catch (const tesmira::TerminationRequested&) {
                reported = "termination";
            } catch (const fs::filesystem_error& error) {
                reported = error.what();
                EXPECT_EQ(error.path1(), partial);
            }
        }
        EXPECT_NE(reported.find(c.reported), std::string::npos) << reported;
        EXPECT_EQ(fs::exists(partial), c.partial_left);
        EXPECT_EQ(fs::exists(parent.path() / "final"), c.reported == "published");
        unlock(parent.path());
    }
}

// Left without fill() and without publishing, the folder goes when the object goes; a failure
// there is swallowed, as the destructor may run while a failure unwinds.
TEST(PartialFolder, TheDestructorRemovesSilently) {
    tesmira::fixtures::TempFolder parent;
    fs::path removable, locked;
    EXPECT_NO_THROW({
        WithoutPermissionOverride unprivileged;
        PartialFolder first(parent.path(), ".tesmira-part-");
        PartialFolder second(parent.path(), ".tesmira-part-");
        removable = first.path();
        locked = second.path();
        lock(locked);
    });
    EXPECT_FALSE(fs::exists(removable));
    EXPECT_TRUE(fs::exists(locked / "locked" / "page.png"));
    unlock(parent.path());
}
