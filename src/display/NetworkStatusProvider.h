// What the target view needs to know of the network link, asked through an
// interface so that drawing does not depend on the network code. The network
// code installs its provider at start-up; without one nothing is shown.
#pragma once

#include <QString>

enum class TNetworkIcon { None, Connected, NotConnected };

class INetworkStatusProvider {
public:
    virtual ~INetworkStatusProvider() = default;
    // The icon for the view of the shooter with this serial number: none
    // unless this PC is a "Node" or a "Monitor".
    virtual TNetworkIcon IconFor(const QString& serialNumber) const = 0;
    // True when the network Mode setting is "Disable".
    virtual bool NetworkDisabled() const = 0;
};

namespace detail {
inline INetworkStatusProvider*& NetworkStatusProviderSlot()
{
    static INetworkStatusProvider* provider = nullptr;
    return provider;
}
} // namespace detail

// The installed provider, or null. Not owned; GUI thread only.
inline INetworkStatusProvider* NetworkStatusProvider() { return detail::NetworkStatusProviderSlot(); }
inline void SetNetworkStatusProvider(INetworkStatusProvider* provider) { detail::NetworkStatusProviderSlot() = provider; }
