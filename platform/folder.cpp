// The rules of a folder, once for both systems, over the calls of
// folder_calls.h: the walk down held levels, what each answer means (missing,
// no place for a file of ours, or an error), and whole files published in one
// step.

#include "folder.h"

#include <random>

#include "errors.h"
#include "system_error.h"
#include "work_files.h"

namespace zrk {

namespace {

using calls::Answer;
using calls::Outcome;

// The words for an answer that is no system error, as a message's reason.
std::string reasonFor(const Answer& answer, const std::string& failed) {
    switch (answer.outcome) {
        case Outcome::Link:
            return "a link is in the way";
        case Outcome::Other:
            return "a file is in the way of a folder";
        case Outcome::InUse:
            return "another program holds it open";
        default:
            return answer.error != 0 ? systemErrorText(answer.error) : failed;
    }
}

// Why a file cannot take the name of what is there.
std::optional<std::string> occupant(const PathStatus& there, const FileId* keep) {
    switch (there.kind) {
        case PathKind::File:
            if (keep != nullptr && there.id == *keep) {
                return "it is the file the run reads, under another name";
            }
            return std::nullopt;
        case PathKind::Missing:
            return std::nullopt;
        case PathKind::Folder:
            return "a folder is at its name";
        case PathKind::Link:
            return "a link is at its name";
        default:
            return "a special file is at its name";
    }
}

// Discards a temporary that was not published, also when an error unwinds.
class Unpublished {
public:
    Unpublished(const calls::HeldFolder& folder, const std::string& name)
        : folder_(folder), name_(name) {}
    ~Unpublished() {
        if (!published) {
            calls::discard(folder_, name_);
        }
    }
    Unpublished(const Unpublished&) = delete;
    Unpublished& operator=(const Unpublished&) = delete;

    bool published = false;

private:
    const calls::HeldFolder& folder_;
    const std::string& name_;
};

}  // namespace

std::string calls::newTemporaryName() {
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name(kTemporaryPrefix);
    for (std::uint64_t bits = random(), i = 0; i < 16; ++i, bits >>= 4) {
        name += kDigits[bits & 0xF];
    }
    return name;
}

Folder::Folder(calls::HeldFolder top, std::string path)
    : top_(std::move(top)), path_(std::move(path)) {}

Folder Folder::open(const std::filesystem::path& location) {
    calls::HeldFolder top;
    std::string shown;
    Answer answer = calls::openFolderAt(location, top, shown);
    if (answer.outcome != Outcome::Done) {
        throw ToolError("cannot open the folder " + shown + ": " +
                        reasonFor(answer, "it is not a folder"));
    }
    return Folder(std::move(top), std::move(shown));
}

Folder Folder::openCurrent() {
    calls::HeldFolder top;
    std::string shown;
    Answer answer = calls::openCurrentFolder(top, shown);
    if (answer.outcome != Outcome::Done) {
        throw ToolError("cannot open the current folder " + shown + ": " +
                        reasonFor(answer, "it is not a folder"));
    }
    return Folder(std::move(top), std::move(shown));
}

std::optional<Folder> Folder::openFolder(std::string_view name, bool make,
                                         std::string* refusal) const {
    std::string part(name);
    calls::HeldFolder folder;
    Answer answer = calls::openFolderIn(top_, part, Links::Follow, make, folder);
    if (answer.outcome == Outcome::Done) {
        return Folder(std::move(folder), path_ + part + pathSeparator());
    }
    if (answer.outcome == Outcome::Failed && !make) {
        failWithError("cannot open the folder", path_ + part, answer.error);
    }
    if (refusal != nullptr) {
        *refusal = answer.outcome == Outcome::Other ? "a file is at its name"
                                                    : reasonFor(answer, "it is missing");
    }
    return std::nullopt;  // missing, a file in the way, or no leave to make it
}

Answer Folder::walkTo(const RelativePath& path, bool make,
                      const calls::HeldFolder*& reached) const {
    const std::vector<std::string>& parts = path.parts();
    std::size_t depth = parts.size() - 1;
    if (held_.size() + depth > kHeldFolders) {
        held_.clear();  // before the walk, which hands out a level it holds
    }
    reached = &top_;
    std::string key;
    for (std::size_t i = 0; i < depth; ++i) {
        key += parts[i];
        auto level = held_.find(key);
        if (level == held_.end()) {
            calls::HeldFolder opened;
            Answer answer = calls::openFolderIn(*reached, parts[i], Links::Refuse, make, opened);
            if (answer.outcome != Outcome::Done) {
                return answer;
            }
            level = held_.emplace(key, std::move(opened)).first;
        }
        reached = &level->second;
        key += '/';
    }
    return {};
}

PathStatus Folder::status(const RelativePath& path, Links links) const {
    const calls::HeldFolder* folder = nullptr;
    PathStatus status;
    Answer answer = walkTo(path, false, folder);
    if (answer.outcome == Outcome::Done) {
        answer = calls::lookAt(*folder, path.parts().back(), links, status);
    }
    switch (answer.outcome) {
        case Outcome::Done:
            return status;
        case Outcome::Missing:
        case Outcome::Other:  // something else than a folder on the way
            return {};
        case Outcome::Link:
            return {PathKind::Link, 0, false, {}};
        default:
            failWithError("cannot look at", path_ + path.shown(), answer.error);
    }
}

File Folder::openForReading(const RelativePath& path, Links links, PathStatus* facts) const {
    std::string shown = path_ + path.shown();
    const calls::HeldFolder* folder = nullptr;
    OsHandle handle;
    PathStatus found;
    Answer answer = walkTo(path, false, folder);
    if (answer.outcome == Outcome::Done) {
        answer = calls::openFileIn(*folder, path.parts().back(), links, handle, found);
    }
    if (facts != nullptr) {
        *facts = found;
    }
    switch (answer.outcome) {
        case Outcome::Done:
            return File(std::move(handle), shown);
        case Outcome::Link:
            throw ToolError(shown + " is reached through a link");
        case Outcome::Other:
            throw ToolError(shown + " is not a plain file");
        default:
            failWithError("cannot open", shown, answer.error);
    }
}

File Folder::openMeasured(const RelativePath& path, const FileId& id, std::int64_t size) const {
    PathStatus now;
    File file = openForReading(path, Links::Refuse, &now);
    if (now.id != id || now.size != size) {
        throw ToolError(file.path() + " changed after it was measured: " + std::to_string(size) +
                        " bytes then, " + std::to_string(now.size) +
                        (now.id != id ? " in another file" : "") + " now");
    }
    return file;
}

std::optional<std::string> Folder::writeFile(const RelativePath& path, const FileId* keep,
                                             const std::function<void(File&)>& write) const {
    std::string shown = path_ + path.shown();
    const calls::HeldFolder* folder = nullptr;
    Answer answer = walkTo(path, true, folder);
    if (answer.outcome != Outcome::Done) {
        return reasonFor(answer, "its folder cannot be made");
    }
    calls::Temporary temporary;
    answer = calls::createTemporary(*folder, temporary);
    if (answer.outcome != Outcome::Done) {
        failWithError("cannot create", shown, answer.error);
    }
    Unpublished unpublished(*folder, temporary.name);
    File file(std::move(temporary.handle), shown);
    write(file);
    std::optional<std::string> refusal =
        publish(*folder, file, temporary.name, path.parts().back(), keep, shown);
    unpublished.published = !refusal;
    file.close();
    return refusal;
}

std::optional<std::string> Folder::publish(const calls::HeldFolder& folder, const File& file,
                                           const std::string& temporaryName,
                                           const std::string& name, const FileId* keep,
                                           const std::string& shown) const {
    Answer answer = calls::publish(folder, file.handle(), temporaryName, name, false);
    if (answer.outcome == Outcome::Taken) {
        PathStatus there;
        Answer looked = calls::lookAt(folder, name, Links::Refuse, there);
        if (looked.outcome == Outcome::Link) {
            there.kind = PathKind::Link;
        } else if (looked.outcome != Outcome::Done && looked.outcome != Outcome::Missing) {
            failWithError("cannot look at", shown, looked.error);
        }
        if (std::optional<std::string> refusal = occupant(there, keep)) {
            return refusal;
        }
        answer = calls::publish(folder, file.handle(), temporaryName, name, true);
    }
    switch (answer.outcome) {
        case Outcome::Done:
            return std::nullopt;
        case Outcome::InUse:
            throw ToolError("cannot replace " + shown + ": another program holds it open");
        case Outcome::Failed:
            failWithError("cannot create", shown, answer.error);
        default:
            return reasonFor(answer, "something took its place");
    }
}

void Folder::removeFile(std::string_view name) const {
    std::string part(name);
    Answer answer = calls::removeFileIn(top_, part);
    switch (answer.outcome) {
        case Outcome::Done:
        case Outcome::Missing:
            return;
        case Outcome::Link:
        case Outcome::Other:
            throw ToolError("cannot remove " + path_ + part +
                            ": it is not a plain file but a folder, a link or a special file");
        case Outcome::InUse:
            throw ToolError("cannot remove " + path_ + part + ": another program holds it open");
        default:
            failWithError("cannot remove", path_ + part, answer.error);
    }
}

std::optional<OsHandle> Folder::lock() const {
    OsHandle lock;
    Answer answer = calls::lockFolder(top_, lock);
    if (answer.outcome == Outcome::InUse) {
        return std::nullopt;
    }
    if (answer.outcome != Outcome::Done) {
        failWithError("cannot lock the folder", path_, answer.error);
    }
    return lock;
}

}  // namespace zrk
