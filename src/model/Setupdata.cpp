#include "Setupdata.h"

#include "Shotfile.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>
#include <utility>

// ---- SilhouetteMatrixSlots --------------------------------------------------------

namespace {

const SilhouetteMatrix& ZeroMatrix()
{
    static const SilhouetteMatrix zero {};
    return zero;
}

} // namespace

SilhouetteMatrixSlots::SilhouetteMatrixSlots(const SilhouetteMatrixSlots& other)
{
    for (std::size_t i = 0; i < SlotCount; ++i) {
        if (other.slots_[i])
            slots_[i] = std::make_unique<SilhouetteMatrix>(*other.slots_[i]);
    }
}

SilhouetteMatrixSlots& SilhouetteMatrixSlots::operator=(const SilhouetteMatrixSlots& other)
{
    // Copy first, so a failed allocation leaves this table as it was.
    if (this != &other)
        *this = SilhouetteMatrixSlots(other);
    return *this;
}

SilhouetteMatrix& SilhouetteMatrixSlots::operator[](std::size_t slot)
{
    std::unique_ptr<SilhouetteMatrix>& m = slots_.at(slot);
    if (!m)
        m = std::make_unique<SilhouetteMatrix>();
    return *m;
}

const SilhouetteMatrix& SilhouetteMatrixSlots::operator[](std::size_t slot) const
{
    const std::unique_ptr<SilhouetteMatrix>& m = slots_.at(slot);
    return m ? *m : ZeroMatrix();
}

void SilhouetteMatrixSlots::Clear()
{
    for (auto& m : slots_)
        m.reset();
}

// ---- DeviceSetup --------------------------------------------------------------------

void DeviceSetup::Clear()
{
    // Field by field: the zone maps are freed rather than zeroed.
    header.fill(0);
    for (auto& r : ringTargets)
        r.Clear();
    ringDefined.fill(0);
    silhouetteMatrices.Clear();
    for (auto& s : silhouetteTargets)
        s.Clear();
    silhouetteDefined.fill(0);
}

void TargetDescription::Clear()
{
    *this = TargetDescription {};
}

QString GetTargetName(const TargetDescription& target)
{
    if (target.hasRing)
        return TargetNameToString(target.ringRecord.data());
    return TargetNameToString(target.silhouetteRecord.data());
}

// ---- TSetupHandler ----------------------------------------------------------------

TSetupHandler::TSetupHandler()
    : slots_(20)
{
}

void TSetupHandler::SetCapacity(int n)
{
    n = std::max(n, 0);
    // Allocate first: if that fails the list is untouched; the moves below
    // cannot throw.
    std::vector<TTargetSetup> fresh(static_cast<std::size_t>(n));
    const int keep = std::min(count_, n);
    for (int i = 0; i < keep; ++i)
        fresh[i] = std::move(slots_[i]);
    slots_.swap(fresh);
    count_ = keep;
}

void TSetupHandler::Add(const TTargetSetup& setup)
{
    // Copy before growing: the source may be an entry of this very list.
    TTargetSetup copy(setup);
    if (count_ == Capacity()) {
        const int capacity = Capacity();
        const int grown = capacity > std::numeric_limits<int>::max() / 2
            ? std::numeric_limits<int>::max()
            : std::max(1, capacity * 2);
        SetCapacity(grown);
    }
    slots_[count_] = std::move(copy);
    ++count_;
}

TTargetSetup* TSetupHandler::Get(int index)
{
    if (!InRange(index))
        throw Exception("Bad target setup index");
    return &slots_[index];
}

const TTargetSetup* TSetupHandler::Get(int index) const
{
    if (!InRange(index))
        throw Exception("Bad target setup index");
    return &slots_[index];
}

void TSetupHandler::Delete(int index)
{
    if (!InRange(index))
        throw Exception("Bad index");
    for (int i = index; i < count_ - 1; ++i)
        slots_[i] = std::move(slots_[i + 1]);
    slots_[count_ - 1] = TTargetSetup {};
    --count_;
}

void TSetupHandler::Swap(int a, int b)
{
    if (!InRange(a) || !InRange(b))
        throw Exception("Bad index");
    if (a != b)
        std::swap(slots_[a], slots_[b]);
}

bool TSetupHandler::LoadFromFile(const QString& path)
{
    std::optional<TSetupHandler> loaded;
    try {
        loaded.emplace();
    } catch (const std::bad_alloc&) {
        throw Exception(QStringLiteral("Not enough memory to load file ") + path);
    }
    if (!TShotFileHandler().LoadSetupFile(path, *loaded))
        return false;
    *this = std::move(*loaded);
    return true;
}

void TSetupHandler::SaveToFile(const QString& path) const
{
    TShotFileHandler().SaveSetupFile(path, *this);
}
