#pragma once
// Real files in a folder, with a failure injected at a chosen step of a save.

#include <memory>
#include <string>
#include <utility>

#include "platform/posix/PosixFiles.h"

namespace taloveric::testing {

enum class Step { None, ProgramFolder, Create, WriteLine, Close, Copy };

class FailingFiles : public Files {
 public:
  explicit FailingFiles(std::filesystem::path folder) : real_(std::move(folder)) {}

  // Fails `step` on its `nth` call from now on (1 for the first), `times` times.
  void FailAt(Step step, int nth = 1, int times = 1) {
    step_ = step;
    countdown_ = nth;
    times_ = times;
  }
  // And, once that is done, `step` on its next call.
  void ThenFailAt(Step step) { then_ = step; }

  std::u16string ProgramFolder() override {
    Hit(Step::ProgramFolder);
    return real_.ProgramFolder();
  }
  std::u16string Locate(std::u16string_view path) override { return real_.Locate(path); }
  std::unique_ptr<TextFile> CreateText(const std::u16string& path) override {
    Hit(Step::Create);
    unheldSteps += held_.expired() ? 1 : 0;
    return std::make_unique<File>(*this, real_.CreateText(path));
  }
  void Copy(const std::u16string& from, const std::u16string& to) override {
    Hit(Step::Copy);
    unheldSteps += held_.expired() ? 1 : 0;
    real_.Copy(from, to);
  }
  std::shared_ptr<void> HoldForSave() override {
    auto hold = real_.HoldForSave();
    held_ = hold;
    return hold;
  }

  // Files created or copied while no save held the folder.
  int unheldSteps = 0;

 private:
  class File : public TextFile {
   public:
    File(FailingFiles& owner, std::unique_ptr<TextFile> real) : owner_(owner), real_(std::move(real)) {}
    void WriteLine(std::string_view bytes) override {
      owner_.Hit(Step::WriteLine);
      real_->WriteLine(bytes);
    }
    void Close() override {
      owner_.Hit(Step::Close);
      real_->Close();
    }

   private:
    FailingFiles& owner_;
    std::unique_ptr<TextFile> real_;
  };

  void Hit(Step step) {
    if (times_ == 0 && then_ != Step::None) FailAt(std::exchange(then_, Step::None));
    if (step != step_ || times_ == 0) return;
    if (--countdown_ > 0) return;
    countdown_ = 1;
    --times_;
    throw FileError("injected failure");
  }

  PosixFiles real_;
  std::weak_ptr<void> held_;
  Step step_ = Step::None;
  Step then_ = Step::None;
  int countdown_ = 0;
  int times_ = 0;
};

}  // namespace taloveric::testing
