#include "codecs/jpeg.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr size_t kBufferSize = 4096;
// The library may use this much for whole-image buffers (progressive files);
// a tiny file that claims a huge progressive image fails instead of allocating it.
constexpr long kMaxLibraryMemory = 1L << 30;

// Progressive files may hold any number of scans, each a pass over the whole
// image; real encoders write a dozen or so.
constexpr int kMaxScans = 1000;
// Entropy-coded data takes at least one bit per 8 x 8 block of the image
// (the DC symbol of each block); a file far smaller than that for the size
// its header claims is not an image but a bomb.
constexpr uint64_t kMaxPixelsPerByte = 1024;

// Library errors jump back into the codec with the result they mean;
// warnings stay quiet except the ones that say data is missing.
struct ErrorManager {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
  int32_t Result;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (err->Result == kCodecOK) {
    switch (err->Pub.msg_code) {
      case JERR_BAD_PRECISION:       // 12-bit samples
      case JERR_CONVERSION_NOTIMPL:  // CMYK and other colour spaces without a conversion
      case JERR_ARITH_NOTIMPL: err->Result = kCodecNotSupported; break;
      case JERR_FILE_WRITE: err->Result = kCodecWriteFailed; break;
      case JERR_INPUT_EOF:
      case JERR_INPUT_EMPTY: err->Result = kCodecReadFailed; break;
      default: err->Result = kCodecLibraryError; break;
    }
  }
  std::longjmp(err->Jump, 1);
}
void OutputMessage(j_common_ptr) {}
void EmitMessage(j_common_ptr cinfo, int level) {
  // A file that ends inside its data is damaged, not an image with grey blocks.
  const int code = cinfo->err->msg_code;
  if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
    reinterpret_cast<ErrorManager*>(cinfo->err)->Result = kCodecReadFailed;
    ErrorExit(cinfo);
  }
}

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.Pub);
  err.Pub.error_exit = ErrorExit;
  err.Pub.output_message = OutputMessage;
  err.Pub.emit_message = EmitMessage;
  err.Result = kCodecOK;
}

// Counts the scans of a progressive file as the library reads them.
void MonitorScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    reinterpret_cast<ErrorManager*>(cinfo->err)->Result = kCodecReadFailed;
    ERREXIT(cinfo, JERR_NOT_COMPILED);
  }
}

// ---- destination on a stream -------------------------------------------------

struct Destination {
  jpeg_destination_mgr Pub;
  mvFileStream* Stream;
  JOCTET* Buffer;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  dest->Buffer =
      static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kBufferSize));
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  if (!dest->Stream->WriteAll(kBufferSize, dest->Buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  const size_t count = kBufferSize - dest->Pub.free_in_buffer;
  if (count > 0 && !dest->Stream->WriteAll(static_cast<uint32_t>(count), dest->Buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
  // Streams that cannot be synced (pipes) still hold every byte; whoever
  // needs the data on disk (SaveImageFile) checks its own flush.
  dest->Stream->Flush();
}

// ---- source on a stream ------------------------------------------------------

struct Source {
  jpeg_source_mgr Pub;
  mvFileStream* Stream;
  JOCTET* Buffer;
  bool StartOfFile;
  bool Exhausted;   // a skip ran past the end of the stream
  bool EndedEarly;  // the library had to be given an invented end marker
};

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<Source*>(cinfo->src)->StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  uint32_t count = src->Exhausted ? 0 : src->Stream->Read(kBufferSize, src->Buffer);
  if (count == 0) {
    if (src->StartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    src->EndedEarly = true;
    WARNMS(cinfo, JWRN_JPEG_EOF);  // ends the read as damaged
    src->Buffer[0] = 0xFF;
    src->Buffer[1] = JPEG_EOI;
    count = 2;
  }
  src->Pub.next_input_byte = src->Buffer;
  src->Pub.bytes_in_buffer = count;
  src->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<Source*>(cinfo->src);
  if (count <= 0) return;
  const size_t n = static_cast<size_t>(count);
  if (n <= src->Pub.bytes_in_buffer) {
    src->Pub.next_input_byte += n;
    src->Pub.bytes_in_buffer -= n;
    return;
  }
  const uint64_t rest = n - src->Pub.bytes_in_buffer;
  src->Pub.bytes_in_buffer = 0;
  if (!src->Stream->Skip(rest)) src->Exhausted = true;
}

void TermSource(j_decompress_ptr) {}

// ---- the two jobs ------------------------------------------------------------

struct WriteJob {
  jpeg_compress_struct Info;
  ErrorManager Err;
  Destination Dest;
  const mvJPEGCodec* Codec;
  mvImage* Image;
  const std::string* Comment;
  mvProgress* Progress;
  uint8_t* Row;  // freed by the caller, also after a library error
};

// Nothing with a destructor lives in this frame: a library error jumps back
// into it from deep inside the library.
int32_t Compress(WriteJob& job) {
  jpeg_compress_struct& cinfo = job.Info;
  const mvPicture& picture = job.Image->Picture;
  cinfo.err = &job.Err.Pub;
  if (setjmp(job.Err.Jump)) return job.Err.Result;
  jpeg_create_compress(&cinfo);

  job.Dest.Pub.init_destination = InitDestination;
  job.Dest.Pub.empty_output_buffer = EmptyOutputBuffer;
  job.Dest.Pub.term_destination = TermDestination;
  cinfo.dest = &job.Dest.Pub;

  // Gray pictures become one-component files; every other format is handed
  // over as 8-bit red, green, blue.
  const bool gray = picture.ColorType == ColorTypeGray;
  const bool direct = picture.ColorType == ColorTypeRGB && picture.BitDepth == 8;
  const int components = gray ? 1 : 3;
  cinfo.image_width = static_cast<JDIMENSION>(picture.Width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.Height);
  cinfo.input_components = components;
  cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);

  const mvImage& image = *job.Image;
  if (image.ResolutionUnit != kResolutionNone) {
    int64_t x = image.XResolution, y = image.YResolution;
    if (image.ResolutionUnit == kResolutionInch) {
      cinfo.density_unit = 1;
    } else {
      cinfo.density_unit = 2;
      if (image.ResolutionUnit == kResolutionMetre) {
        x /= 100;
        y /= 100;
      }
    }
    cinfo.X_density = static_cast<UINT16>(std::clamp<int64_t>(x, 0, 65535));
    cinfo.Y_density = static_cast<UINT16>(std::clamp<int64_t>(y, 0, 65535));
  }

  jpeg_set_quality(&cinfo, std::clamp(job.Codec->Quality, 0, 100), TRUE);
  cinfo.optimize_coding = job.Codec->Optimize ? TRUE : FALSE;
  for (int i = 0; i < cinfo.num_components; ++i) {
    cinfo.comp_info[i].h_samp_factor = 1;
    cinfo.comp_info[i].v_samp_factor = 1;
  }
  if (job.Codec->Progressive) jpeg_simple_progression(&cinfo);

  jpeg_start_compress(&cinfo, TRUE);
  if (job.Comment) {
    // A marker holds at most 65533 bytes; a longer comment is cut there.
    const size_t length = std::min<size_t>(job.Comment->size(), 65533);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(job.Comment->data()),
                      static_cast<unsigned int>(length));
  }

  job.Row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(picture.Width) * static_cast<size_t>(components)));
  if (!job.Row) return kCodecOutOfMemory;
  const uint8_t* palette = picture.Palette ? picture.Palette->Entries : nullptr;
  if (job.Progress) job.Progress->SetMax(static_cast<uint32_t>(picture.Height - 1));
  for (int32_t y = 0; y < picture.Height; ++y) {
    const uint8_t* src = picture.Row(y);
    if (direct) {
      const uint32_t step = picture.Channels;
      uint8_t* dst = job.Row;
      for (int32_t x = 0; x < picture.Width; ++x, src += step, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
    } else {
      ConvertRow(src, picture.ColorType, picture.BitDepth, picture.Channels, job.Row,
                 gray ? ColorTypeGray : ColorTypeRGB, 8, static_cast<uint32_t>(components), palette, picture.Width);
    }
    JSAMPROW rows[1] = {job.Row};
    jpeg_write_scanlines(&cinfo, rows, 1);
    // Finishing a short image is a library error; a cancelled write is
    // abandoned instead and the caller destroys the object.
    if (job.Progress && !job.Progress->SetPos(job.Progress->Pos + 1)) return kCodecCancelled;
  }
  std::free(job.Row);
  job.Row = nullptr;
  jpeg_finish_compress(&cinfo);
  return kCodecOK;
}

struct ReadJob {
  jpeg_decompress_struct Info;
  ErrorManager Err;
  Source Src;
  const mvJPEGCodec* Codec;
  mvImage* Image;
  mvProgress* Progress;
  jpeg_progress_mgr Monitor;
  uint64_t FileBytes;  // 0 when the stream cannot tell
  uint8_t* Rows;       // freed by the caller
};

int32_t Decompress(ReadJob& job) {
  jpeg_decompress_struct& cinfo = job.Info;
  cinfo.err = &job.Err.Pub;
  if (setjmp(job.Err.Jump)) return job.Err.Result;
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
  job.Monitor.progress_monitor = MonitorScans;
  cinfo.progress = &job.Monitor;

  job.Src.Buffer = static_cast<JOCTET*>(
      (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, kBufferSize));
  job.Src.Pub.init_source = InitSource;
  job.Src.Pub.fill_input_buffer = FillInputBuffer;
  job.Src.Pub.skip_input_data = SkipInputData;
  job.Src.Pub.resync_to_restart = jpeg_resync_to_restart;
  job.Src.Pub.term_source = TermSource;
  job.Src.Pub.bytes_in_buffer = 0;
  job.Src.Pub.next_input_byte = nullptr;
  cinfo.src = &job.Src.Pub;

  jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  if (!FitsReadLimits(cinfo.image_width, cinfo.image_height)) return kCodecCannotCreate;
  const uint64_t pixels = uint64_t{cinfo.image_width} * cinfo.image_height;
  // Arithmetic coding can squeeze a flat image below any fixed floor.
  if (job.FileBytes != 0 && !cinfo.arith_code && pixels / kMaxPixelsPerByte > job.FileBytes) return kCodecReadFailed;
  // Only grey and colour (YCbCr or RGB) files have a conversion to our formats.
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) return kCodecNotSupported;

  const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  cinfo.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  cinfo.dct_method = static_cast<J_DCT_METHOD>(std::clamp(job.Codec->ReadDCTMethod, 0, 2));
  cinfo.do_block_smoothing = job.Codec->ReadBlockSmoothing ? TRUE : FALSE;
  jpeg_start_decompress(&cinfo);

  const int components = cinfo.output_components;
  if (components != (gray ? 1 : 3) || !FitsReadLimits(cinfo.output_width, cinfo.output_height))
    return kCodecCannotCreate;
  mvImage& image = *job.Image;
  if (!image.Create(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height),
                    gray ? ColorTypeGray : ColorTypeRGB, 8, gray ? 2 : 4))
    return kCodecCannotCreate;
  image.SourceHint = 0;
  image.ResolutionUnit = kResolutionNone;
  image.XResolution = image.YResolution = 0;
  if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2)) {
    image.ResolutionUnit = cinfo.density_unit == 1 ? kResolutionInch : kResolutionCentimetre;
    image.XResolution = cinfo.X_density;
    image.YResolution = cinfo.Y_density;
  }
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker != JPEG_COM) continue;
    // Some writers store the terminator too; the text ends at the first zero.
    const char* text = reinterpret_cast<const char*>(m->data);
    image.SetTextProperty("COMMENT", std::string(text, strnlen(text, m->data_length)));
  }

  const int batch = std::clamp(cinfo.rec_outbuf_height, 1, 4);
  const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * static_cast<size_t>(components);
  job.Rows = static_cast<uint8_t*>(std::malloc(rowBytes * static_cast<size_t>(batch)));
  if (!job.Rows) return kCodecOutOfMemory;
  JSAMPROW rows[4];
  for (int i = 0; i < batch; ++i) rows[i] = job.Rows + rowBytes * static_cast<size_t>(i);

  mvPicture& picture = image.Picture;
  if (job.Progress) job.Progress->SetMax(cinfo.output_height - 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION first = cinfo.output_scanline;
    const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(batch));
    if (got == 0) return kCodecReadFailed;  // our source never suspends; be safe anyway
    for (JDIMENSION k = 0; k < got; ++k) {
      const uint8_t* src = rows[k];
      uint8_t* dst = picture.Row(static_cast<int32_t>(first + k));
      if (gray) {
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, dst += 2) {
          dst[0] = src[x];
          dst[1] = 255;
        }
      } else {
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, src += 3, dst += 4) {
          dst[0] = src[0];
          dst[1] = src[1];
          dst[2] = src[2];
          dst[3] = 255;
        }
      }
      if (job.Progress && !job.Progress->SetPos(job.Progress->Pos + 1)) return kCodecCancelled;
    }
  }
  jpeg_finish_decompress(&cinfo);
  return job.Src.EndedEarly ? kCodecReadFailed : kCodecOK;
}

}  // namespace

bool mvJPEGCodec::IsFormat(const uint8_t* bytes, uint32_t count) const {
  static const uint8_t kSignature[10] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
  return bytes && count >= 10 && std::memcmp(bytes, kSignature, 10) == 0;
}

bool mvJPEGCodec::SetOption(const char* name, const char* value) {
  if (!name || !value || strcasecmp(name, "quality") != 0) return false;
  // Base 0 reads decimal, 0x hexadecimal and leading-zero octal like C.
  errno = 0;
  const long long parsed = std::strtoll(value, nullptr, 0);
  Quality = static_cast<int32_t>(std::clamp<long long>(parsed, 0, 100));
  return true;
}

int32_t mvJPEGCodec::WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  if (image.Picture.IsEmpty()) return kCodecNotSupported;
  WriteJob* job = static_cast<WriteJob*>(std::calloc(1, sizeof(WriteJob)));
  if (!job) return kCodecOutOfMemory;
  InstallErrorManager(job->Err);
  job->Dest.Stream = &stream;
  job->Codec = this;
  job->Image = &image;
  job->Comment = image.GetTextProperty("COMMENT");
  job->Progress = progress;
  const int32_t result = Compress(*job);
  std::free(job->Row);
  jpeg_destroy_compress(&job->Info);
  std::free(job);
  return result;
}

int32_t mvJPEGCodec::ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  ReadJob* job = static_cast<ReadJob*>(std::calloc(1, sizeof(ReadJob)));
  if (!job) return kCodecOutOfMemory;
  InstallErrorManager(job->Err);
  job->Src.Stream = &stream;
  job->Codec = this;
  job->Image = &image;
  job->Progress = progress;
  uint64_t bytes = 0;
  if (stream.BytesLeft(bytes)) job->FileBytes = bytes;
  const int32_t result = Decompress(*job);
  std::free(job->Rows);
  jpeg_destroy_decompress(&job->Info);
  std::free(job);
  return result;
}
