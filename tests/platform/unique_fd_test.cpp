#include "platform/unique_fd.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using palvex::CUniqueFd;

namespace {

// A fresh descriptor on /dev/null.
int OpenNull() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

bool IsOpenDescriptor(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

} // namespace

TEST(UniqueFd, ClosesItsDescriptorWhenItGoesOutOfScope) {
    int raw = -1;
    {
        CUniqueFd fd(OpenNull());
        raw = fd.Get();
        ASSERT_TRUE(fd);
        ASSERT_TRUE(IsOpenDescriptor(raw));
    }
    EXPECT_FALSE(IsOpenDescriptor(raw));
}

TEST(UniqueFd, ResetClosesTheOldDescriptorAndKeepsTheNewOne) {
    CUniqueFd fd(OpenNull());
    const int first = fd.Get();
    const int second = OpenNull();
    ASSERT_GE(second, 0);
    EXPECT_EQ(fd.Reset(second), 0);
    EXPECT_FALSE(IsOpenDescriptor(first));
    EXPECT_TRUE(IsOpenDescriptor(second));
    EXPECT_EQ(fd.Get(), second);
}

TEST(UniqueFd, MoveAssignmentClosesTheTargetsDescriptorAndEmptiesTheSource) {
    CUniqueFd a(OpenNull());
    CUniqueFd b(OpenNull());
    const int aRaw = a.Get();
    const int bRaw = b.Get();
    b = std::move(a);
    EXPECT_FALSE(IsOpenDescriptor(bRaw));
    EXPECT_EQ(b.Get(), aRaw);
    EXPECT_TRUE(IsOpenDescriptor(aRaw));
    EXPECT_FALSE(a.Valid()); // NOLINT(bugprone-use-after-move): moved-from state is defined
}

TEST(UniqueFd, ReleaseHandsTheDescriptorOverWithoutClosingIt) {
    int raw = -1;
    {
        CUniqueFd fd(OpenNull());
        raw = fd.Release();
        EXPECT_FALSE(fd);
    }
    EXPECT_TRUE(IsOpenDescriptor(raw));
    ::close(raw);
}

TEST(UniqueFd, ResetReportsAFailedClose) {
    const int raw = OpenNull();
    CUniqueFd fd(raw);
    ::close(raw); // closed behind the owner's back: its own close must fail
    errno = 0;
    EXPECT_EQ(fd.Reset(), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(fd.Reset(), 0); // nothing held any more
}
