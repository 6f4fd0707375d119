// The listing tells a complete file-data stream from one that was cut or damaged, which readers
// that install files treat alike as the end of the data.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "installer/package/deflate_stream.h"
#include "installer/package/inflate_stream.h"

TEST(inflate_stream_end, only_a_complete_stream_counts_as_finished)
{
    std::stringbuf sink;
    {
        deflate_stream stream(&sink);
        std::ostream out(&stream);
        for (int i = 0; i < 2000; ++i)
            out << "record " << i << '\n';
        ASSERT_TRUE(stream.finish());
    }
    std::string whole = sink.str();
    std::string corrupt = whole;
    corrupt[corrupt.size() / 2] ^= 0x5a;
    const struct {
        const char* name;
        std::string data;
        bool finished;
        bool damaged;
    } cases[] = {
        {"complete", whole, true, false},
        {"cut short", whole.substr(0, whole.size() - 10), false, false},
        {"corrupt", corrupt, false, true},
        {"empty", "", false, false},
    };
    for (const auto& c : cases) {
        std::stringbuf source(c.data);
        inflate_stream inflater(&source);
        std::istream in(&inflater);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(inflater.finished() && !inflater.corrupt(), c.finished) << c.name;
        EXPECT_EQ(inflater.corrupt(), c.damaged) << c.name;
    }
}
