#include "data_control.h"

#include "ext-data-control-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace pomorina {

DataControlEvents::~DataControlEvents() = default;
DataControl::~DataControl() = default;

namespace {

// The generated calls of one form of the protocol, by the names the code
// below uses; both forms have the same messages in the same order.
#define POMORINA_DATA_CONTROL_FORM(Form, prefix, protocol, newestVersion)                          \
    struct Form {                                                                                  \
        using Manager = prefix##_manager_v1;                                                       \
        using Device = prefix##_device_v1;                                                         \
        using Source = prefix##_source_v1;                                                         \
        using Offer = prefix##_offer_v1;                                                           \
        using DeviceListener = prefix##_device_v1_listener;                                        \
        using SourceListener = prefix##_source_v1_listener;                                        \
        using OfferListener = prefix##_offer_v1_listener;                                          \
        static constexpr const char* name = protocol;                                              \
        static constexpr uint32_t version = newestVersion;                                         \
        static const wl_interface* managerInterface() { return &prefix##_manager_v1_interface; }   \
        static Source* createSource(Manager* m) {                                                  \
            return prefix##_manager_v1_create_data_source(m);                                      \
        }                                                                                          \
        static Device* getDevice(Manager* m, wl_seat* seat) {                                      \
            return prefix##_manager_v1_get_data_device(m, seat);                                   \
        }                                                                                          \
        static void destroy(Manager* m) { prefix##_manager_v1_destroy(m); }                        \
        static void destroy(Device* d) { prefix##_device_v1_destroy(d); }                          \
        static void destroy(Source* s) { prefix##_source_v1_destroy(s); }                          \
        static void destroy(Offer* o) { prefix##_offer_v1_destroy(o); }                            \
        static void listen(Device* d, const DeviceListener* l, void* data) {                       \
            prefix##_device_v1_add_listener(d, l, data);                                           \
        }                                                                                          \
        static void listen(Source* s, const SourceListener* l, void* data) {                       \
            prefix##_source_v1_add_listener(s, l, data);                                           \
        }                                                                                          \
        static void listen(Offer* o, const OfferListener* l, void* data) {                         \
            prefix##_offer_v1_add_listener(o, l, data);                                            \
        }                                                                                          \
        static void setSelection(Device* d, Source* s) { prefix##_device_v1_set_selection(d, s); } \
        static void offer(Source* s, const char* type) { prefix##_source_v1_offer(s, type); }      \
        static void receive(Offer* o, const char* type, int fd) {                                  \
            prefix##_offer_v1_receive(o, type, fd);                                                \
        }                                                                                          \
    }

POMORINA_DATA_CONTROL_FORM(ExtForm, ext_data_control, "ext-data-control-v1", 1);
// Version 2 only adds the primary selection, which we ignore, but is what
// current compositors announce.
POMORINA_DATA_CONTROL_FORM(WlrForm, zwlr_data_control, "zwlr-data-control-unstable-v1", 2);

#undef POMORINA_DATA_CONTROL_FORM

template <typename Form> class DataControlOf final : public DataControl {
public:
    using Device = typename Form::Device;
    using Source = typename Form::Source;
    using Offer = typename Form::Offer;

    explicit DataControlOf(typename Form::Manager* manager) : manager_(manager) {}
    ~DataControlOf() override {
        for (auto& introduced : introduced_)
            Form::destroy(introduced.first);
        if (device_ != nullptr)
            Form::destroy(device_);
        Form::destroy(manager_);
    }

    const char* protocolName() const override { return Form::name; }

    void watch(wl_seat* seat, DataControlEvents* events) override {
        events_ = events;
        device_ = Form::getDevice(manager_, seat);
        Form::listen(device_, &kDeviceListener, this);
    }

    DataSource* createSource(const QByteArrayList& types) override {
        Source* source = Form::createSource(manager_);
        for (const QByteArray& type : types)
            Form::offer(source, type.constData());
        Form::listen(source, &kSourceListener, this);
        return proxy(source);
    }
    void setSelection(DataSource* source) override {
        Form::setSelection(device_, reinterpret_cast<Source*>(source));
    }
    void destroySource(DataSource* source) override {
        Form::destroy(reinterpret_cast<Source*>(source));
    }
    void receive(DataOffer* offer, const QByteArray& type, int fd) override {
        Form::receive(reinterpret_cast<Offer*>(offer), type.constData(), fd);
    }
    void destroyOffer(DataOffer* offer) override { Form::destroy(reinterpret_cast<Offer*>(offer)); }

private:
    template <typename T> static wl_proxy* proxy(T* object) {
        return reinterpret_cast<wl_proxy*>(object);
    }
    static DataControlOf* self(void* data) { return static_cast<DataControlOf*>(data); }

    // A new offer lists its types first, then is named in a selection or a
    // primary selection event.
    static void introduced(void* data, Device*, Offer* offer) {
        self(data)->introduced_.emplace(offer, QByteArrayList());
        Form::listen(offer, &kOfferListener, data);
    }
    static void offered(void* data, Offer* offer, const char* type) {
        auto& introduced = self(data)->introduced_;
        if (const auto found = introduced.find(offer); found != introduced.end())
            found->second.append(QByteArray(type));
    }
    static void selection(void* data, Device*, Offer* offer) {
        QByteArrayList types;
        if (const auto found = self(data)->introduced_.find(offer);
            found != self(data)->introduced_.end()) {
            types = std::move(found->second);
            self(data)->introduced_.erase(found);
        }
        self(data)->events_->selection(proxy(offer), types);
    }
    // The primary selection (text merely selected) is not the clipboard.
    static void primarySelection(void* data, Device*, Offer* offer) {
        if (offer == nullptr)
            return;
        self(data)->introduced_.erase(offer);
        Form::destroy(offer);
    }
    static void finished(void* data, Device*) { self(data)->events_->finished(); }
    static void send(void* data, Source* source, const char* type, int32_t fd) {
        self(data)->events_->send(proxy(source), QByteArray(type), fd);
    }
    static void cancelled(void* data, Source* source) {
        self(data)->events_->cancelled(proxy(source));
    }

    static constexpr typename Form::DeviceListener kDeviceListener = {introduced, selection,
                                                                      finished, primarySelection};
    static constexpr typename Form::SourceListener kSourceListener = {send, cancelled};
    static constexpr typename Form::OfferListener kOfferListener = {offered};

    typename Form::Manager* manager_;
    Device* device_ = nullptr;
    DataControlEvents* events_ = nullptr;
    std::map<Offer*, QByteArrayList> introduced_; // offers not yet named
};

template <typename Form>
std::unique_ptr<DataControl> bind(wl_registry* registry, uint32_t name, uint32_t version) {
    auto* manager = static_cast<typename Form::Manager*>(wl_registry_bind(
        registry, name, Form::managerInterface(), std::min(version, Form::version)));
    return std::make_unique<DataControlOf<Form>>(manager);
}

} // namespace

int dataControlPreference(const char* interface) {
    if (std::strcmp(interface, ExtForm::managerInterface()->name) == 0)
        return 2;
    if (std::strcmp(interface, WlrForm::managerInterface()->name) == 0)
        return 1;
    return 0;
}

std::unique_ptr<DataControl> bindDataControl(wl_registry* registry, uint32_t name,
                                             const char* interface, uint32_t version) {
    switch (dataControlPreference(interface)) {
    case 2:
        return bind<ExtForm>(registry, name, version);
    case 1:
        return bind<WlrForm>(registry, name, version);
    default:
        return nullptr;
    }
}

} // namespace pomorina
