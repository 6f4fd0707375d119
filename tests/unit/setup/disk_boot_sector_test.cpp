#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "setup/disk/boot_program.h"
#include "setup/disk/boot_sector.h"

namespace {

struct image_file {
    std::string path;
    explicit image_file(const std::vector<unsigned char>& content)
    {
        char name[] = "/tmp/boot_sector_XXXXXX";
        int fd = mkstemp(name);
        path = name;
        if (write(fd, content.data(), content.size()) != ssize_t(content.size()))
            ADD_FAILURE() << "could not write " << path;
        close(fd);
    }
    ~image_file() { unlink(path.c_str()); }
    std::vector<unsigned char> read() const
    {
        std::vector<unsigned char> bytes;
        FILE* file = fopen(path.c_str(), "rb");
        int c;
        while ((c = fgetc(file)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        fclose(file);
        return bytes;
    }
};

TEST(boot_program, ends_with_its_messages_and_fits)
{
    std::string program(reinterpret_cast<const char*>(BOOT_PROGRAM), BOOT_PROGRAM_SIZE);
    EXPECT_NE(program.find(std::string("Error loading operating system") + '\0'), std::string::npos);
    EXPECT_NE(program.find(std::string("Missing operating system") + '\0'), std::string::npos);
}

TEST(install_boot_program, replaces_code_clears_gap_keeps_table_and_the_rest)
{
    std::vector<unsigned char> disk(4096);
    for (size_t i = 0; i < disk.size(); ++i)
        disk[i] = static_cast<unsigned char>(i * 7 + 1);
    image_file image(disk);
    ASSERT_TRUE(install_boot_program(image.path.c_str()));
    std::vector<unsigned char> after = image.read();
    ASSERT_EQ(after.size(), disk.size());
    EXPECT_TRUE(std::equal(BOOT_PROGRAM, BOOT_PROGRAM + BOOT_PROGRAM_SIZE, after.begin()));
    for (size_t i = BOOT_PROGRAM_SIZE; i < PARTITION_TABLE_OFFSET; ++i)
        ASSERT_EQ(after[i], 0) << i;
    EXPECT_TRUE(std::equal(disk.begin() + PARTITION_TABLE_OFFSET, disk.end(), after.begin() + PARTITION_TABLE_OFFSET));
}

TEST(install_boot_program, unreadable_sector_writes_nothing)
{
    std::vector<unsigned char> short_disk(300, 0xAB);
    image_file image(short_disk);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(install_boot_program(image.path.c_str()));
    EXPECT_FALSE(install_boot_program("/nonexistent/disk"));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("could not read MBR: "), std::string::npos);
    EXPECT_NE(errors.find("could not open MBR: No such file or directory"), std::string::npos);
    EXPECT_EQ(image.read(), short_disk);
}

}  // namespace
