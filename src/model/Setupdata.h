// Target tables, target descriptions and the list of training setups.
#pragma once

#include "DeviceRecords.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The 16 zone maps of a target table, indexed like an array. A map is 4 KB
// and most slots never hold a silhouette, so a slot is allocated on its first
// non-const access; until then a const access reads a shared all-zero map,
// which is what an untouched slot always held. Copies are deep. A non-const
// access may throw std::bad_alloc; an index outside 0..15 throws
// std::out_of_range. Not locked: the owner of the table guards it.
class SilhouetteMatrixSlots {
public:
    static constexpr std::size_t SlotCount = 16;

    SilhouetteMatrixSlots() = default;
    SilhouetteMatrixSlots(const SilhouetteMatrixSlots& other);
    SilhouetteMatrixSlots& operator=(const SilhouetteMatrixSlots& other);
    SilhouetteMatrixSlots(SilhouetteMatrixSlots&&) noexcept = default;
    SilhouetteMatrixSlots& operator=(SilhouetteMatrixSlots&&) noexcept = default;

    SilhouetteMatrix& operator[](std::size_t slot);
    const SilhouetteMatrix& operator[](std::size_t slot) const;

    // Whether the slot has a map of its own (for tests and memory checks).
    bool Allocated(std::size_t slot) const { return slots_.at(slot) != nullptr; }
    // Frees every map: all slots read as zero again.
    void Clear();

private:
    std::array<std::unique_ptr<SilhouetteMatrix>, SlotCount> slots_;
};

// Every target a unit can hold: 16 ring and 16 silhouette slots with their
// "defined" flags (1 = the slot holds a target). Used by the setup list, the
// session and each shooter.
struct DeviceSetup {
    static constexpr int SlotCount = 16;

    std::array<uint8_t, 64> header {};
    std::array<RingTargetRecord, SlotCount> ringTargets {};
    std::array<uint8_t, SlotCount> ringDefined {};
    SilhouetteMatrixSlots silhouetteMatrices;
    std::array<SilhouetteTargetRecord, SlotCount> silhouetteTargets {};
    std::array<uint8_t, SlotCount> silhouetteDefined {};

    void Clear();
};

// The one target a setup entry or a shot uses: a ring, a silhouette or both.
struct TargetDescription {
    uint8_t targetNumber = 0;
    uint8_t hasSilhouette = 0;
    uint8_t hasRing = 0;
    RingTargetRecord ringRecord {};
    SilhouetteTargetRecord silhouetteRecord {};
    SilhouetteMatrix silhouetteMatrix {};

    void Clear();
};

// The ring part's name when there is a ring, else the silhouette's name.
QString GetTargetName(const TargetDescription& target);

// One named training configuration. A list that is absent (nullopt) differs
// from an empty one: copying a setup without descriptions leaves the copy
// without them. Copies are deep.
struct TTargetSetup {
    std::optional<QStringList> descriptions;
    TargetDescription target {};
    SetupBlocks blocks {};
    std::optional<QStringList> extraLines; // copied with the setup, never written to file
};

// The ordered list of setups the operator chooses from and edits. Every
// operation that throws leaves the list as it was. A pointer from Get stays
// valid until the capacity changes (SetCapacity, or an Add on a full list).
class TSetupHandler {
public:
    TSetupHandler();

    // Keeps the first min(count, n) setups; a negative n counts as 0.
    void SetCapacity(int n);
    // Grows a full list to twice its capacity (at least 1) first.
    void Add(const TTargetSetup& setup);
    // Throws "Bad target setup index" outside 0..Count()-1.
    TTargetSetup* Get(int index);
    const TTargetSetup* Get(int index) const;
    // Both throw "Bad index" outside 0..Count()-1.
    void Delete(int index);
    void Swap(int a, int b);

    // Replaces the list by the setups of a setup file. Read into a list of
    // its own first: when the file has no setup information (false) or
    // reading throws (unreadable file, damaged text, bad setup), this list
    // stays as it was.
    bool LoadFromFile(const QString& path);
    // Writes every setup in list order; throws when the file cannot be
    // written (the previous file then stays intact).
    void SaveToFile(const QString& path) const;

    int Count() const { return count_; }
    int Capacity() const { return int(slots_.size()); }

private:
    bool InRange(int index) const { return index >= 0 && index < count_; }

    std::vector<TTargetSetup> slots_; // Capacity() entries, the first count_ in use
    int count_ = 0;
};
