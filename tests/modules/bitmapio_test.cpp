// The BMP module in its real server DLL: files made here byte by byte and by ImageMagick read into
// image signals, malformed files refused, and its panel's Save writing files that read back bit for
// bit (ImageMagick reads them after the test: bitmapio_imagemagick.sh check).
#include <initguid.h>
#include "module_test.h"
#include <bit>
#include <filesystem>
#include <functional>
#include <fstream>
#include "bitmapio/controls.h"
#include "bitmapio_idl.h"
#include "bmp_files.h"
#include "host/engine/settings_store.h"
#include "message_box_watcher.h"
#include "pixels.h"
#include "tests/host/temp_folder.h"
#include "window_watcher.h"

namespace fs = std::filesystem;
using vento::SettingsStore;
using vento::test::Bytes;
using vento::test::BmpSpec;
using vento::test::makeBmp;
using vento::test::MessageBoxWatcher;
using vento::test::TempFolder;
using vento::test::writeBytes;

namespace {

constexpr wchar_t dll[] = L"bitmapio.dll";
constexpr wchar_t out[] = L"Default";
constexpr wchar_t in[] = L"InputImage";

// Pixel words that are NaNs as floats, signalling and quiet: they must keep every bit.
const Words nanPatterns = {0x7FA00001u, 0xFFC00000u, 0x7F800001u, 0xFF800001u, 0x7FC00000u, 0xFFFFFFFFu};

std::vector<std::wstring> texts(const std::vector<MessageBoxWatcher::Box>& boxes)
{
    std::vector<std::wstring> t;
    for (const auto& b : boxes) t.push_back(b.text);
    return t;
}

class BmpTest : public vento::test::ModuleTest {
protected:
    BmpTest() : ModuleTest(dll, CLSID_BMPModule) {}

    // Names `file` as a restored graph would, then one step; answers the messages it showed.
    std::vector<std::wstring> load(const fs::path& file)
    {
        auto store = modkit::make<SettingsStore>();
        store->setString(L"FileName", file.wstring());
        EXPECT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
        return step();
    }
    std::vector<std::wstring> load(const Bytes& bytes, const wchar_t* name = L"picture.bmp")
    {
        writeBytes(dir / name, bytes);
        return load(dir / name);
    }
    std::vector<std::wstring> step()
    {
        MessageBoxWatcher watcher;
        EXPECT_EQ(S_OK, h.process());
        return texts(watcher.stop());
    }
    Words sentWords() { return samplesAsWords(h.lastSent(out).data); }
    Words outputWords() { return samplesAsWords(h.outputData(out)); }
    std::map<std::wstring, std::wstring> outputDoc() { return vento::test::propsOf(h.outputProps(out)); }
    std::pair<std::wstring, std::wstring> shape()
    {
        auto doc = outputDoc();
        return {doc[L"Width"], doc[L"Height"]};
    }

    TempFolder dir;
};

// A 24-bit picture whose every pixel differs: blue 0x10 + x, green 0x20 + stored row, red 0x30.
BmpSpec rgb24(int width, int height)
{
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.pixel = [](int x, int row) { return 0x302010u + std::uint32_t(x) + (std::uint32_t(row) << 8); };
    return s;
}

// An 8-bit picture of `colours` palette entries (0 for the 256 the header then implies).
BmpSpec indexed8(int width, int height, std::uint32_t colours, std::uint32_t compression = 0)
{
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitCount = 8;
    s.compression = compression;
    s.coloursUsed = colours;
    return s;
}

TEST_F(BmpTest, A24BitFileBecomesAnImageSignal)
{
    EXPECT_EQ(25, h.outputSize(out)) << "declared with 25 samples";
    ASSERT_TRUE(load(makeBmp(rgb24(3, 2))).empty());
    ASSERT_EQ(1, h.sendCount(out));
    // Rows of 9 bytes padded to 12; the first word is the first stored row's first pixel.
    EXPECT_EQ((Words{0x302010, 0x302011, 0x302012, 0x302110, 0x302111, 0x302112}), sentWords());
    auto doc = vento::test::propsOf(h.lastSent(out).props);
    EXPECT_EQ(L"3", doc[L"Width"]);
    EXPECT_EQ(L"2", doc[L"Height"]);
    EXPECT_EQ(L"Image", doc[L"Type"]);
    EXPECT_EQ(L"RGBA", doc[L"PixelType"]);
    // Once per read: the next steps send nothing.
    EXPECT_TRUE(step().empty());
    EXPECT_EQ(1, h.sendCount(out));
}

TEST_F(BmpTest, EightBitFilesMapPaddedRowsThroughThePaletteAfterTheHeadersRealSize)
{
    BmpSpec s = indexed8(5, 3, 0); // rows of 5 indices padded to 8
    for (std::uint32_t i = 0; i < 256; ++i) s.palette.push_back(0xAB000000u | (i * 0x010203u & 0xFFFFFFu));
    s.pixel = [](int x, int row) { return std::uint32_t(x + 5 * row); };
    Words expected;
    for (std::uint32_t i = 0; i < 15; ++i) expected.push_back(i * 0x010203u & 0xFFFFFFu); // fourth byte cleared
    ASSERT_TRUE(load(makeBmp(s)).empty());
    EXPECT_EQ(expected, sentWords());

    // A version 5 header (124 bytes) with a palette of 16 colours.
    s.headerSize = 124;
    s.coloursUsed = 16;
    s.palette.resize(16);
    s.pixel = [](int x, int row) { return std::uint32_t(14 - x - 5 * row); };
    std::reverse(expected.begin(), expected.end());
    ASSERT_TRUE(load(makeBmp(s)).empty());
    EXPECT_EQ(expected, sentWords());
}

TEST_F(BmpTest, ThirtyTwoBitWordsComeThroughBitForBit)
{
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bitCount = 32;
    s.pixel = [](int x, int row) { return nanPatterns[size_t(x + 3 * row)]; };
    ASSERT_TRUE(load(makeBmp(s)).empty());
    EXPECT_EQ(nanPatterns, sentWords());
    EXPECT_EQ(nanPatterns, outputWords());

    // Bit fields with the standard masks, after a 40-byte header and inside a version 5 one.
    s.compression = 3;
    s.extra = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    ASSERT_TRUE(load(makeBmp(s)).empty());
    EXPECT_EQ(nanPatterns, sentWords());
    s.extra.clear();
    s.headerSize = 124;
    Bytes v5 = makeBmp(s);
    vento::test::put32(v5, 54, 0x00FF0000);
    vento::test::put32(v5, 58, 0x0000FF00);
    vento::test::put32(v5, 62, 0x000000FF);
    vento::test::put32(v5, 66, 0xFF000000);
    ASSERT_TRUE(load(v5).empty());
    EXPECT_EQ(nanPatterns, sentWords());
}

TEST_F(BmpTest, TopDownFilesComeOutBottomUp)
{
    BmpSpec s = rgb24(2, -3);
    ASSERT_TRUE(load(makeBmp(s)).empty());
    // Stored row 0 is the top of the picture: it becomes the last row of the block.
    EXPECT_EQ((Words{0x302210, 0x302211, 0x302110, 0x302111, 0x302010, 0x302011}), sentWords());
    EXPECT_EQ(std::make_pair(std::wstring(L"2"), std::wstring(L"3")), shape());
}

TEST_F(BmpTest, EightBitRunsAreDecoded)
{
    BmpSpec s = indexed8(6, 4, 4, 1);
    s.palette = {0x1E140A, 0x0000FF, 0x00FF00, 0xFF0000};
    // Row 0: runs of 1 and 2, then 2 more pixels of padding some writers encode (dropped). Row 1:
    // three indices as they are (padded to an even count), a run; row 2 and most of row 3 stepped
    // over (colour 0); one pixel at (2, 3); end.
    s.data = {3, 1, 5, 2, 0, 0, 0, 3, 1, 2, 3, 0, 2, 1, 0, 0, 0, 2, 2, 1, 1, 3, 0, 1};
    ASSERT_TRUE(load(makeBmp(s)).empty());
    const std::uint32_t k = 0x1E140A, b = 0x0000FF, g = 0x00FF00, r = 0xFF0000;
    EXPECT_EQ((Words{b, b, b, g, g, g, b, g, r, b, b, k, k, k, k, k, k, k, k, k, r, k, k, k}), sentWords());
}

TEST_F(BmpTest, OtherBitCountsSendZerosInTheNewSize)
{
    ASSERT_TRUE(load(makeBmp(rgb24(2, 2))).empty());
    int sends = h.sendCount(out);
    for (std::uint16_t bits : {1, 4, 16}) {
        SCOPED_TRACE(bits);
        BmpSpec s;
        s.width = 4;
        s.height = 3;
        s.bitCount = bits;
        s.pixel = [](int, int) { return 0xFFFFFFFFu; };
        if (bits < 16) s.palette.assign(size_t(1) << bits, 0xFFFFFF);
        ASSERT_TRUE(load(makeBmp(s)).empty());
        EXPECT_EQ(++sends, h.sendCount(out));
        EXPECT_EQ(Words(12, 0u), sentWords());
        EXPECT_EQ(std::make_pair(std::wstring(L"4"), std::wstring(L"3")), shape());
        // Zeros again after a picture of the same size: never the last picture's pixels.
        ASSERT_TRUE(load(makeBmp(rgb24(4, 3))).empty());
        ++sends;
    }
}

TEST_F(BmpTest, AnotherShapeOfTheSameSizeIsPublished)
{
    // 25 pixels fill the declared output without a resize: the size must still be published.
    ASSERT_TRUE(load(makeBmp(rgb24(5, 5))).empty());
    EXPECT_EQ(std::make_pair(std::wstring(L"5"), std::wstring(L"5")), shape());
    ASSERT_TRUE(load(makeBmp(rgb24(6, 4))).empty());
    EXPECT_EQ(std::make_pair(std::wstring(L"6"), std::wstring(L"4")), shape());
    ASSERT_TRUE(load(makeBmp(rgb24(4, 6))).empty());
    EXPECT_EQ(std::make_pair(std::wstring(L"4"), std::wstring(L"6")), shape());
    EXPECT_EQ(24, h.outputSize(out));
}

TEST_F(BmpTest, AFileThatCannotBeOpenedIsNamedAndTheOutputStays)
{
    ASSERT_TRUE(load(makeBmp(rgb24(3, 2))).empty());
    const Words before = outputWords();
    const auto doc = outputDoc();
    const fs::path missing = dir / L"missing.bmp";
    EXPECT_EQ(std::vector<std::wstring>{L"File Open Failed.  File Name:" + missing.wstring()}, load(missing));
    EXPECT_EQ(1, h.sendCount(out));
    EXPECT_EQ(before, outputWords());
    EXPECT_EQ(doc, outputDoc());
    EXPECT_TRUE(step().empty()) << "the load is cancelled, not retried";
}

// Everything a file can get wrong, from valid files made wrong one field at a time. None is read:
// each gives one message and leaves the output as it was.
TEST_F(BmpTest, MalformedFilesAreRefusedAndTheOutputStays)
{
    BmpSpec indexed = indexed8(4, 3, 16);
    indexed.palette.assign(16, 0x123456);
    indexed.pixel = [](int x, int row) { return std::uint32_t(x + 4 * row); };
    const Bytes good8 = makeBmp(indexed), good24 = makeBmp(rgb24(3, 2));
    BmpSpec runs = indexed;
    runs.compression = 1;
    runs.data = {4, 1, 0, 0, 4, 2, 0, 1};
    const Bytes goodRuns = makeBmp(runs);
    auto with = [](Bytes b, size_t at, std::uint32_t value) {
        vento::test::put32(b, at, value);
        return b;
    };
    auto cut = [](Bytes b, size_t size) {
        b.resize(size);
        return b;
    };
    auto runsOf = [&](Bytes data, int height = 3) {
        BmpSpec s = runs;
        s.data = std::move(data);
        s.height = height;
        return makeBmp(s);
    };
    BmpSpec fields = indexed;
    fields.bitCount = 32;
    fields.compression = 3;
    fields.palette.clear();
    fields.coloursUsed = 0;
    fields.extra = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0}; // blue and red swapped
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"width 0", with(good24, 18, 0)},
        {"negative width", with(good24, 18, std::uint32_t(-3))},
        {"height 0", with(good24, 22, 0)},
        {"width beyond 16384", with(good24, 18, 16385)},
        {"height beyond 16384, top-down", with(good24, 22, std::uint32_t(-16385))},
        {"the most negative height", with(good24, 22, 0x80000000u)},
        {"width x height overflowing 32 bits", with(with(good24, 18, 0x10000), 22, 0x10000)},
        {"shorter than its headers", cut(good24, 40)},
        {"shorter than its pixel data", cut(good24, good24.size() - 1)},
        {"image size too small for its rows", with(good24, 34, 23)},
        {"header size below 40", with(good24, 14, 12)},
        {"header size beyond the file", with(good24, 14, 4000)},
        {"pixel data offset beyond the file", with(good24, 10, std::uint32_t(good24.size() + 1))},
        {"pixel data offset inside but rows beyond", with(good24, 10, std::uint32_t(good24.size() - 4))},
        {"colours used above 256", with(good8, 46, 257)},
        {"palette beyond the file", with(good8, 46, 256)},
        {"palette index beyond the palette", [&] {
             Bytes b = good8;
             b.back() = 16;
             return b;
         }()},
        {"24-bit runs", with(good24, 30, 1)},
        {"JPEG inside", with(good24, 30, 4)},
        {"bit fields in other places", makeBmp(fields)},
        {"8-bit runs stored top-down", with(goodRuns, 22, std::uint32_t(-3))},
        {"a run of a colour beyond the palette", runsOf({4, 1, 0, 0, 4, 16, 0, 1})},
        {"a run beyond the last row", runsOf({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1})},
        {"a step beyond the picture", runsOf({0, 2, 5, 0, 0, 1})},
        {"indices beyond the data", runsOf({0, 4, 1, 2})},
        {"run data size beyond the file", with(goodRuns, 34, 400)},
    };
    ASSERT_TRUE(load(good8).empty()) << "the cases' base file is good";
    ASSERT_TRUE(load(goodRuns).empty());
    ASSERT_TRUE(load(good24).empty());
    const Words before = outputWords();
    const auto doc = outputDoc();
    const int sends = h.sendCount(out);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(std::vector<std::wstring>{L"File Open Failed"}, load(c.file));
        EXPECT_EQ(sends, h.sendCount(out));
        EXPECT_EQ(before, outputWords());
        EXPECT_EQ(doc, outputDoc());
    }
}

TEST_F(BmpTest, TheFileNameIsTheOneSettingAndARestoredModuleShowsItsPicture)
{
    auto store = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
    EXPECT_EQ(L"", store->stringValue(L"FileName").value_or(L"?"));
    EXPECT_EQ(1u, store->writes().size());
    // An empty name reads nothing.
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    EXPECT_TRUE(step().empty());
    EXPECT_EQ(0, h.sendCount(out));

    writeBytes(dir / L"saved.bmp", makeBmp(rgb24(3, 2)));
    store->setString(L"FileName", (dir / L"saved.bmp").wstring());
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    // An engine call that fails ends the step with its error; the read is still to come.
    h.failCall(SiteCall::SendOutput, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, h.process());
    EXPECT_TRUE(step().empty());
    EXPECT_EQ(1, h.sendCount(out));
    EXPECT_EQ(6u, sentWords().size());
}

// Files ImageMagick wrote (bitmapio_imagemagick.sh make, before this test) read as ImageMagick
// decodes them: blue, green and red of every pixel, and for 32-bit files the fourth byte as well.
TEST_F(BmpTest, ImageMagickFilesReadAsImageMagickDecodesThem)
{
    const fs::path folder = vento::test::besideProgram(L"imagemagick_bmp");
    if (!fs::exists(folder)) GTEST_SKIP() << "no ImageMagick files (ImageMagick not found by the build)";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != L".bmp") continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++files;
        const Bytes file = vento::test::readBytes(entry.path());
        const Bytes decoded = vento::test::readBytes(fs::path(entry.path()).replace_extension(L".bgra"));
        const bool fourthByte = file[28] == 32;
        ASSERT_TRUE(load(entry.path()).empty());
        const Words words = sentWords();
        ASSERT_EQ(decoded.size(), words.size() * 4);
        size_t differ = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            const std::uint32_t theirs = vento::test::get32(decoded, 4 * i);
            const std::uint32_t mask = fourthByte ? 0xFFFFFFFFu : 0x00FFFFFFu;
            differ += (words[i] & mask) != (theirs & mask);
            if (!fourthByte) differ += (words[i] >> 24) != 0;
        }
        EXPECT_EQ(0u, differ) << "of " << words.size() << " pixels";
    }
    EXPECT_GE(files, 20);
}

// --- the panel -----------------------------------------------------------------------------------

class BmpPanelTest : public BmpTest {
protected:
    void feedImage(const wchar_t* type, long width, long height, const Words& words)
    {
        h.feed(in, wordsAsSamples(words), imageProps(type, width, height));
    }
    // Types `name` into the panel and presses Save; answers the messages.
    std::vector<std::wstring> save(PageHarness& panel, const std::wstring& name, bool autoIncrement = true)
    {
        SetWindowTextW(panel.item(IDC_FILE_NAME), name.c_str());
        if ((SendMessageW(panel.item(IDC_AUTO_INCREMENT), BM_GETCHECK, 0, 0) == BST_CHECKED) != autoIncrement)
            panel.click(IDC_AUTO_INCREMENT);
        MessageBoxWatcher watcher;
        panel.click(IDC_SAVE);
        return texts(watcher.stop());
    }
    std::wstring savedName()
    {
        auto store = modkit::make<SettingsStore>();
        EXPECT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
        return store->stringValue(L"FileName").value_or(L"");
    }
    // Keeps a file the module saved for ImageMagick to read after the test, with its size and pixels.
    void keepForImageMagick(const fs::path& file, long width, long height, const Words& words)
    {
        const fs::path folder = vento::test::besideProgram(L"saved_bmp");
        fs::create_directories(folder);
        const fs::path kept = folder / file.filename();
        fs::copy_file(file, kept, fs::copy_options::overwrite_existing);
        std::ofstream(fs::path(kept).replace_extension(L".size")) << width << ' ' << height;
        writeBytes(fs::path(kept).replace_extension(L".bgra"), [&] {
            Bytes b(words.size() * 4);
            std::memcpy(b.data(), words.data(), b.size());
            return b;
        }());
    }
};

TEST_F(BmpPanelTest, OpensWithTheModulesFileNameAndAutoIncrementChecked)
{
    writeBytes(dir / L"a.bmp", makeBmp(rgb24(3, 2)));
    load(dir / L"a.bmp");
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    EXPECT_EQ((dir / L"a.bmp").wstring(), panel.text(IDC_FILE_NAME));
    EXPECT_EQ(BST_CHECKED, SendMessageW(panel.item(IDC_AUTO_INCREMENT), BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_TRUE(panel.site().statusChanges.empty() || panel.site().statusChanges.back() == 0);
}

// Saving a 4 x 4 "Video" frame with Auto-Increment while frame.bmp and frame1.bmp exist.
TEST_F(BmpPanelTest, SaveWritesA32BitFileThatTheNextStepShowsBitForBit)
{
    Words frame;
    for (std::uint32_t i = 0; i < 16; ++i) frame.push_back(i < nanPatterns.size() ? nanPatterns[i] : 0x01020304u * i);
    feedImage(L"Video", 4, 4, frame);
    ASSERT_EQ(S_OK, h.process());
    writeBytes(dir / L"frame.bmp", Bytes{1});
    writeBytes(dir / L"frame1.bmp", Bytes{1});
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    ASSERT_TRUE(save(panel, (dir / L"frame.bmp").wstring()).empty());

    const fs::path saved = dir / L"frame2.bmp";
    EXPECT_EQ(saved.wstring(), panel.text(IDC_FILE_NAME));
    EXPECT_EQ(saved.wstring(), savedName());
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(0, h.core().updateDepth());
    const Bytes file = vento::test::readBytes(saved);
    ASSERT_EQ(118u, file.size());
    Bytes header(file.begin(), file.begin() + 54);
    Bytes expected(54, 0);
    expected[0] = 'B';
    expected[1] = 'M';
    vento::test::put32(expected, 2, 118);
    vento::test::put32(expected, 10, 54);
    vento::test::put32(expected, 14, 40);
    vento::test::put32(expected, 18, 4);
    vento::test::put32(expected, 22, 4);
    vento::test::put16(expected, 26, 1);
    vento::test::put16(expected, 28, 32);
    vento::test::put32(expected, 34, 64);
    EXPECT_EQ(expected, header);
    Words stored(16);
    std::memcpy(stored.data(), file.data() + 54, 64);
    EXPECT_EQ(frame, stored) << "the words as they are";
    EXPECT_EQ(Bytes{1}, vento::test::readBytes(dir / L"frame.bmp")) << "existing files stay as they were";

    EXPECT_TRUE(step().empty());
    EXPECT_EQ(frame, sentWords());
    EXPECT_EQ(std::make_pair(std::wstring(L"4"), std::wstring(L"4")), shape());
    EXPECT_EQ(L"Image", outputDoc()[L"Type"]);
    keepForImageMagick(saved, 4, 4, frame);
}

TEST_F(BmpPanelTest, AutoIncrementFindsTheFirstNameNoFileHas)
{
    feedImage(L"Image", 3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0x000000, 0xFFFFFF});
    ASSERT_EQ(S_OK, h.process());
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    const struct {
        std::vector<const wchar_t*> existing;
        const wchar_t* given;
        const wchar_t* written;
    } cases[] = {
        {{L"pic.bmp"}, L"pic.bmp", L"pic1.bmp"},
        {{L"pic9.bmp"}, L"pic9.bmp", L"pic10.bmp"},
        {{L"pic007.bmp"}, L"pic007.bmp", L"pic8.bmp"},
        {{L"frame19.bmp"}, L"frame19.bmp", L"frame20.bmp"},
        {{L"frame.old.bmp"}, L"frame.old.bmp", L"frame.old1.bmp"},
        {{L"x99999999999999999999.bmp"}, L"x99999999999999999999.bmp", L"x100000000000000000000.bmp"},
        {{}, L"new.bmp", L"new.bmp"},
        {{L"p.BMP", L"p1.BMP"}, L"p.BMP", L"p2.BMP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.given, c.given + wcslen(c.given)));
        for (const wchar_t* name : c.existing) writeBytes(dir / name, Bytes{7});
        ASSERT_TRUE(save(panel, (dir / c.given).wstring()).empty());
        EXPECT_EQ((dir / c.written).wstring(), panel.text(IDC_FILE_NAME));
        EXPECT_EQ(54u + 24u, vento::test::readBytes(dir / c.written).size());
        for (const wchar_t* name : c.existing) EXPECT_EQ(Bytes{7}, vento::test::readBytes(dir / name));
    }
    keepForImageMagick(dir / L"pic1.bmp", 3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x808080, 0x000000, 0xFFFFFF});
}

TEST_F(BmpPanelTest, AFileThatCannotBeReadIsNeverOverwritten)
{
    feedImage(L"Image", 1, 1, {0x123456});
    ASSERT_EQ(S_OK, h.process());
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    writeBytes(dir / L"busy.bmp", Bytes{7});
    // Held open by another program that lets no one else read it.
    modkit::UniqueFile busy(CreateFileW((dir / L"busy.bmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy);
    ASSERT_TRUE(save(panel, (dir / L"busy.bmp").wstring()).empty());
    EXPECT_EQ((dir / L"busy1.bmp").wstring(), panel.text(IDC_FILE_NAME));
    busy.reset();
    EXPECT_EQ(Bytes{7}, vento::test::readBytes(dir / L"busy.bmp"));
}

TEST_F(BmpPanelTest, SaveRefusesNamesAndInputsItCannotWrite)
{
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    const Words two = {1, 2};
    struct Case {
        const char* what;
        std::function<void()> input;
        const wchar_t* name;
        const wchar_t* message;
    } cases[] = {
        {"no input yet", [] {}, L"a.bmp", L"No image detected at input"},
        {"not a .bmp name", [&] { feedImage(L"Image", 2, 1, two); }, L"picture.png", L"Please enter a .bmp file name"},
        {"audio", [&] { h.feed(in, {0.5f, 0.25f}, L"<PROPS><Type>Audio</Type><Width>2</Width><Height>1</Height></PROPS>"); },
         L"a.bmp", L"No image detected at input"},
        {"no width", [&] { h.feed(in, {0.5f, 0.25f}, L"<PROPS><Type>Image</Type><Height>1</Height></PROPS>"); }, L"a.bmp",
         L"No image detected at input"},
        {"negative height", [&] { feedImage(L"Image", 2, -1, two); }, L"a.bmp", L"No image detected at input"},
        {"a block shorter than its picture", [&] { feedImage(L"Video", 2, 2, {1, 2, 3}); }, L"a.bmp",
         L"No image detected at input"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.input();
        ASSERT_EQ(S_OK, h.process());
        long modified = h.core().modifiedCount();
        EXPECT_EQ(std::vector<std::wstring>{c.message}, save(panel, (dir / c.name).wstring()));
        EXPECT_TRUE(fs::is_empty(dir.path)) << "nothing written";
        EXPECT_EQ(0, h.core().updateDepth());
        EXPECT_TRUE(step().empty()) << "nothing to read";
        if (std::wstring(c.message) == L"No image detected at input") {
            EXPECT_EQ(modified + 1, h.core().modifiedCount());
        }
    }
    // The test for ".bmp" ignores letter case.
    feedImage(L"Image", 2, 1, two);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_TRUE(save(panel, (dir / L"picture.BMP").wstring()).empty());
    EXPECT_TRUE(fs::exists(dir / L"picture.BMP"));
}

TEST_F(BmpPanelTest, WithoutAutoIncrementAFileIsReplacedAndAFailedCreateIsOneMessage)
{
    feedImage(L"Image", 2, 1, {0xAABBCC, 0x112233});
    ASSERT_EQ(S_OK, h.process());
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    writeBytes(dir / L"same.bmp", Bytes{7});
    ASSERT_TRUE(save(panel, (dir / L"same.bmp").wstring(), false).empty());
    EXPECT_EQ(62u, vento::test::readBytes(dir / L"same.bmp").size());
    EXPECT_TRUE(step().empty());
    EXPECT_EQ((Words{0xAABBCC, 0x112233}), sentWords());

    // A folder that does not exist: one message, no file, and nothing read afterwards.
    const fs::path nowhere = dir / L"no such folder" / L"x.bmp";
    EXPECT_EQ(std::vector<std::wstring>{L"CreateFile"}, save(panel, nowhere.wstring(), false));
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_TRUE(step().empty()) << "a file that was not written is not read";
    EXPECT_EQ(1, h.sendCount(out));
}

TEST_F(BmpPanelTest, ApplyAndBrowseReadTheChosenFile)
{
    writeBytes(dir / L"typed.bmp", makeBmp(rgb24(1, 1)));
    writeBytes(dir / L"chosen.bmp", makeBmp(rgb24(2, 1)));
    PageHarness panel(h, dll, CLSID_BMPModulePP);
    SetWindowTextW(panel.item(IDC_FILE_NAME), (dir / L"typed.bmp").c_str());
    // As every panel but the Recorder's, the page never says it is dirty: the frame always applies.
    EXPECT_TRUE(panel.site().statusChanges.empty() || panel.site().statusChanges.back() == 0);
    EXPECT_EQ(S_OK, panel.page()->IsPageDirty());
    EXPECT_TRUE(step().empty()) << "a typed name waits for Apply";
    EXPECT_EQ(0, h.sendCount(out));
    ASSERT_EQ(S_OK, panel.apply());
    EXPECT_EQ((dir / L"typed.bmp").wstring(), savedName());
    EXPECT_TRUE(step().empty());
    EXPECT_EQ(1u, sentWords().size());

    // The open-file dialog, answered as a user would: the name typed into it, then Open.
    vento::test::DialogWatcher user(GetCurrentThreadId(), L"Open", IDOK, [&](HWND dialog) {
        for (int id : {1148, 1152}) // the file name box of the two dialog layouts
            if (HWND box = GetDlgItem(dialog, id)) SetWindowTextW(box, (dir / L"chosen.bmp").c_str());
    });
    panel.click(IDC_BROWSE);
    EXPECT_TRUE(user.wait());
    EXPECT_EQ((dir / L"chosen.bmp").wstring(), panel.text(IDC_FILE_NAME));
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_TRUE(step().empty());
    EXPECT_EQ(2u, sentWords().size());
}

} // namespace
