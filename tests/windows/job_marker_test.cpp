// The job marker as the installer reads it: a marker that cannot be opened for lack of access still means
// a running job, since closing the window then would cut that job off.
#include "link/windows_headers.h"

#include <gtest/gtest.h>

#include "app/job_marker.h"

namespace vantrel::app {
namespace {

struct OpenCase {
    const char* name;
    bool opened;
    unsigned long error;
    bool job;
};

TEST(JobMarkerTest, OpeningTheMarkerByNameReadsAsAJobOrNone) {
    const OpenCase cases[] = {
        {"opened", true, ERROR_SUCCESS, true},
        {"no such object", false, ERROR_FILE_NOT_FOUND, false},
        {"created under another account", false, ERROR_ACCESS_DENIED, true},
        {"the name taken by an object of another kind", false, ERROR_INVALID_HANDLE, false},
    };
    for (const OpenCase& c : cases) {
        EXPECT_EQ(MarkerShowsJob(c.opened, c.error), c.job) << c.name;
    }
}

TEST(JobMarkerTest, TheMarkerIsSeenWhileHeldAndGoesWhenLetGo) {
    ASSERT_FALSE(JobRunningOnMachine());
    MarkJobRunning(true);
    MarkJobRunning(true);
    EXPECT_TRUE(JobRunningOnMachine());
    MarkJobRunning(false);
    EXPECT_FALSE(JobRunningOnMachine());
}

}  // namespace
}  // namespace vantrel::app
