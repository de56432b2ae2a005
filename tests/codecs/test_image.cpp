#include <algorithm>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/codecs/helpers.h"

namespace {

class TestLayer : public mvLayer {
public:
  int32_t LayerKind() const override { return 1; }
};

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* e = readdir(dir))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(dir);
  }
  return names;
}

// Writes some bytes, then fails the way a full disk would.
class FailingCodec : public mvCodec {
public:
  const char* GetName() const override { return "X"; }
  const char* GetDescription() const override { return "X"; }
  const char* GetExtensions() const override { return "x\0"; }
  int32_t GetCapabilities() const override { return 3; }
  int32_t WriteImage(mvFileStream& stream, mvImage&, mvProgress*) override {
    stream.WriteAll(5, "junk!");
    return kCodecWriteFailed;
  }
};

// Writes some bytes, then is stopped the way Ctrl+C or a kill would stop it.
class InterruptedCodec : public FailingCodec {
public:
  explicit InterruptedCodec(int sig) : Signal(sig) {}
  int32_t WriteImage(mvFileStream& stream, mvImage&, mvProgress*) override {
    stream.WriteAll(5, "junk!");
    ::raise(Signal);
    return kCodecOK;
  }
  int Signal;
};

// Runs job in a child that an alarm ends after a few seconds (a call that
// would block forever then fails the test instead of hanging it); the
// child's wait status.
template <class Job>
int InChild(Job job) {
  const pid_t child = fork();
  if (child == 0) {
    alarm(5);
    _exit(job());
  }
  int status = -1;
  waitpid(child, &status, 0);
  return status;
}

}  // namespace

TEST(Image, FlattenComposesVisibleLayersOntoBackground) {
  mvImage image;
  ASSERT_TRUE(image.Create(4, 3, ColorTypeRGB, 8, 3));
  auto* red = new TestLayer;
  ASSERT_TRUE(red->Create(2, 2, ColorTypeRGB, 8, 4));
  red->Fill(nullptr, mvColor::RGBA8(255, 0, 0, 255));
  red->X = 3;  // only its left column overlaps
  red->Y = 2;
  auto* hidden = new TestLayer;
  ASSERT_TRUE(hidden->Create(4, 3, ColorTypeRGB, 8, 4));
  hidden->Fill(nullptr, mvColor::RGBA8(0, 0, 255, 255));
  hidden->Visible = 0;
  auto* clear = new TestLayer;
  ASSERT_TRUE(clear->Create(4, 3, ColorTypeRGB, 8, 4));
  clear->Opacity = 0;
  auto* far = new TestLayer;
  ASSERT_TRUE(far->Create(4, 3, ColorTypeRGB, 8, 4));
  far->X = INT32_MAX - 1;  // must not wrap into view
  far->Y = INT32_MIN + 1;
  for (mvLayer* l : {static_cast<mvLayer*>(red), static_cast<mvLayer*>(hidden), static_cast<mvLayer*>(clear),
                     static_cast<mvLayer*>(far)})
    ASSERT_TRUE(image.AddLayer(l));
  image.Flatten();
  const uint8_t* p = image.Picture.Row(2) + 3 * 3;
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 0);
  const uint8_t* w = image.Picture.Row(0);
  EXPECT_EQ(w[0], 255);
  EXPECT_EQ(w[1], 255);
  EXPECT_EQ(w[2], 255);

  image.HasBackground = false;
  image.CurrentLayer = red;
  ASSERT_TRUE(image.RemoveLayer(red));
  EXPECT_EQ(image.CurrentLayer, nullptr);
  EXPECT_FALSE(image.RemoveLayer(red));
  image.Flatten();
  EXPECT_EQ(image.Picture.Row(2)[9], 0);
  delete red;  // removed layers belong to the caller again; the rest go with the image
}

TEST(Image, TextPropertiesSortedAndReplacedAndClearedByCreate) {
  mvImage image;
  image.SetTextProperty("TITLE", "a");
  image.SetTextProperty("COMMENT", "b");
  image.SetTextProperty("TITLE", "c");
  ASSERT_EQ(image.TextProperties.Size(), 2u);
  EXPECT_EQ(image.TextProperties.All()[0].first, "COMMENT");
  EXPECT_EQ(*image.GetTextProperty("TITLE"), "c");
  ASSERT_TRUE(image.Create(1, 1, ColorTypeGray, 8, 1));
  EXPECT_EQ(image.TextProperties.Size(), 0u);
}

TEST(Codecs, ExtensionsChooseTheCodec) {
  EXPECT_EQ(JPEGCodec.ExtensionList(), (std::vector<std::string>{"jpg", "jpeg", "jpe", "jfif"}));
  EXPECT_EQ(BMPCodec.ExtensionList(), (std::vector<std::string>{"bmp", "dib", "rle"}));
  EXPECT_EQ(PNGCodec.ExtensionList(), std::vector<std::string>{"png"});
  EXPECT_EQ(CodecForPath("/a.b/out.JPEG"), &JPEGCodec);
  EXPECT_EQ(CodecForPath("x.png"), &PNGCodec);
  EXPECT_EQ(CodecForPath("x.dib"), &BMPCodec);
  EXPECT_EQ(CodecForPath("dir.png/x"), nullptr);
  EXPECT_EQ(CodecForPath("x.gif"), nullptr);
}

TEST(Codecs, QualityOptionParsedLikeACLiteralAndClamped) {
  mvJPEGCodec codec;
  const std::pair<const char*, int32_t> kValues[] = {
      {"150", 100}, {"-5", 0}, {"0x50", 80}, {"017", 15}, {"99999999999999999999", 100}};
  for (const auto& [text, quality] : kValues) {
    EXPECT_TRUE(codec.SetOption("quality", text)) << text;
    EXPECT_EQ(codec.Quality, quality) << text;
  }
  EXPECT_TRUE(codec.SetOption("QUALITY", "50"));
  EXPECT_TRUE(codec.SetOption("Quality", "50"));
  EXPECT_FALSE(codec.SetOption("progressive", "1"));
  EXPECT_FALSE(codec.SetOption("qualityx", "1"));
  EXPECT_EQ(codec.Quality, 50);
  EXPECT_FALSE(PNGCodec.SetOption("quality", "1"));
  EXPECT_FALSE(BMPCodec.SetOption("quality", "1"));
}

TEST(Codecs, IsFormat) {
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  EXPECT_TRUE(PNGCodec.IsFormat(png, 8));
  EXPECT_FALSE(JPEGCodec.IsFormat(png, 8));
  EXPECT_FALSE(PNGCodec.IsFormat(png, 3));
  const uint8_t bm[2] = {'B', 'M'};
  EXPECT_TRUE(BMPCodec.IsFormat(bm, 2));
  EXPECT_FALSE(BMPCodec.IsFormat(bm, 1));
  const uint8_t jfif[10] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
  EXPECT_TRUE(JPEGCodec.IsFormat(jfif, 10));
  EXPECT_FALSE(JPEGCodec.IsFormat(jfif, 9));
}

TEST(SaveImageFile, MissingFolderGivesTwoAndAFolderTargetEleven) {
  TempFolder dir;
  mvImage image;
  MakeTexture(image, 3, 2);
  EXPECT_EQ(SaveImageFile(BMPCodec, dir.File("missing/x.bmp").c_str(), image), kCodecCannotOpen);
  EXPECT_EQ(SaveImageFile(BMPCodec, dir.Path.c_str(), image), kCodecNotAFile);
  EXPECT_EQ(SaveImageFile(BMPCodec, (dir.Path + "/").c_str(), image), kCodecNotAFile);
  EXPECT_TRUE(FolderEntries(dir.Path).empty());
}

TEST(SaveImageFile, FailedWriteKeepsTheOldFileByteIdentical) {
  TempFolder dir;
  const std::string path = dir.File("keep.bmp");
  const std::vector<uint8_t> old = {'o', 'l', 'd', 0, 255};
  WriteFileBytes(path, old);
  mvImage image;
  MakeTexture(image, 3, 2);
  FailingCodec failing;
  EXPECT_EQ(SaveImageFile(failing, path.c_str(), image), kCodecWriteFailed);
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(FolderEntries(dir.Path), std::vector<std::string>{"keep.bmp"});
  // A failure with no old file leaves no file at all.
  EXPECT_EQ(SaveImageFile(failing, dir.File("new.bmp").c_str(), image), kCodecWriteFailed);
  EXPECT_EQ(FolderEntries(dir.Path), std::vector<std::string>{"keep.bmp"});
}

TEST(SaveImageFile, FileSizeLimitMidWriteKeepsTheOldFile) {
  // The child gets a file size limit, as a disk that fills up part-way; the
  // signal that limit raises is ignored by the save signal handling, and
  // every codec then reports a failed write, not corrupt data.
  TempFolder dir;
  const std::string path = dir.File("big.png");
  const std::vector<uint8_t> old(100, 7);
  WriteFileBytes(path, old);
  for (mvCodec* codec :
       {static_cast<mvCodec*>(&BMPCodec), static_cast<mvCodec*>(&PNGCodec), static_cast<mvCodec*>(&JPEGCodec)}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallSaveSignalHandling();
      rlimit limit{20000, 20000};
      setrlimit(RLIMIT_FSIZE, &limit);
      mvImage image;
      MakeTexture(image, 300, 300);
      // Noise so that no codec can compress it below the limit.
      uint32_t state = 1;
      for (int32_t y = 0; y < 300; ++y)
        for (int32_t x = 0; x < 1200; ++x)
          image.Picture.Row(y)[x] = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
      _exit(SaveImageFile(*codec, path.c_str(), image));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kCodecWriteFailed) << codec->GetName();
    EXPECT_EQ(ReadFileBytes(path), old) << codec->GetName();
    EXPECT_EQ(FolderEntries(dir.Path), std::vector<std::string>{"big.png"}) << codec->GetName();
  }
}

TEST(SaveImageFile, ReplacesTheFileThroughSymlinksKeepingPermissionsAndLeavesNothingElse) {
  TempFolder dir;
  const std::string path = dir.File("t.bmp");
  WriteFileBytes(path, {1, 2, 3});
  chmod(path.c_str(), 0640);
  ASSERT_EQ(symlink("t.bmp", dir.File("link.bmp").c_str()), 0);
  mvImage image;
  MakeTexture(image, 3, 2);
  ASSERT_EQ(SaveImageFile(BMPCodec, dir.File("link.bmp").c_str(), image), kCodecOK);
  struct stat info;
  ASSERT_EQ(lstat(dir.File("link.bmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadFileBytes(path).size(), 78u);
  ASSERT_EQ(SaveImageFile(BMPCodec, path.c_str(), image), kCodecOK);
  auto entries = FolderEntries(dir.Path);
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"link.bmp", "t.bmp"}));
}

TEST(LoadImageFile, ChoosesTheCodecByContent) {
  TempFolder dir;
  mvImage image;
  MakeTexture(image, 5, 4);
  ASSERT_EQ(SaveImageFile(PNGCodec, dir.File("really-png.bmp").c_str(), image), kCodecOK);
  mvImage back;
  EXPECT_EQ(LoadImageFile(dir.File("really-png.bmp").c_str(), back), kCodecOK);
  EXPECT_EQ(back.Picture.Channels, 4u);
  EXPECT_EQ(LoadImageFile(dir.File("none.png").c_str(), back), kCodecCannotOpen);
  WriteFileBytes(dir.File("x.txt"), {'h', 'i'});
  EXPECT_EQ(LoadImageFile(dir.File("x.txt").c_str(), back), kCodecWrongFormat);
}

TEST(SaveImageFile, InterruptedSaveRemovesItsTemporaryAndEndsByTheSignal) {
  TempFolder dir;
  const std::string path = dir.File("keep.png");
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  WriteFileBytes(path, old);
  for (int sig : {SIGINT, SIGTERM}) {
    const int status = InChild([&] {
      InstallSaveSignalHandling();
      mvImage image;
      MakeTexture(image, 3, 2);
      InterruptedCodec codec(sig);
      return SaveImageFile(codec, path.c_str(), image);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FolderEntries(dir.Path), std::vector<std::string>{"keep.png"});
  }
}

TEST(LoadImageFile, PipesAndFoldersAreRefusedWithoutBlocking) {
  TempFolder dir;
  const std::string fifo = dir.File("pipe.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.Path}) {
    const int status = InChild([&] {
      mvImage image;
      return LoadImageFile(path.c_str(), image);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kCodecNotAFile) << path << " " << status;
  }
  // A device is written in place and stays what it was.
  mvImage image;
  MakeTexture(image, 3, 2);
  EXPECT_EQ(SaveImageFile(PNGCodec, "/dev/null", image), kCodecOK);
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(LoadImageFile, CommittedFuzzInputsReadWithoutHarm) {
  // The fuzzers' seeds come from our writers and must read back; the
  // findings kept beside them must be refused cleanly (the sanitizer builds
  // run this too).
  for (const char* target : {"bmp", "png", "jpeg"}) {
    const std::string dir = std::string(ORVELLE_FUZZ_CORPUS) + "/" + target;
    const std::vector<std::string> names = FolderEntries(dir);
    EXPECT_GE(names.size(), 10u) << dir;
    for (const std::string& name : names) {
      mvImage image;
      const int32_t code = LoadImageFile((dir + "/" + name).c_str(), image);
      if (name.rfind("finding-", 0) != 0) {
        EXPECT_EQ(code, kCodecOK) << name;
      }
    }
  }
}
