#pragma once
#include "captured_console.h"
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "installer/state/installed_package.h"
#include "installer/state/run_context.h"

// Small packages described in one expression: package("b", ver(1, 0)).needs("a", ver(1, 0)).
template <class record>
class package_builder {
public:
    package_builder(const std::string& name, version_number version, std::uint32_t build_time = 0)
        : package_(std::make_unique<record>())
    {
        package_->name = name;
        package_->version = version;
        package_->build_time = build_time;
    }
    package_builder&& needs(const std::string& name, version_number minimum = 0, version_number maximum = 0) &&
    {
        package_->dependencies.push_back({name, minimum, maximum, 0});
        return std::move(*this);
    }
    package_builder&& offers(const std::string& name, std::int32_t extra = 0, version_number minimum = 0,
                             version_number maximum = 0) &&
    {
        package_->provides.push_back({name, minimum, maximum, extra});
        return std::move(*this);
    }
    package_builder&& excludes(const std::string& name, version_number minimum = 0, version_number maximum = 0) &&
    {
        package_->conflicts.push_back({name, minimum, maximum, 0});
        return std::move(*this);
    }
    package_builder&& made_for(const std::string& architecture) &&
    {
        package_->architecture = architecture;
        return std::move(*this);
    }
    package_builder&& holding(std::unique_ptr<package_header> member) &&
    {
        package_->is_bundle = true;
        package_->contained_packages.push_back(std::move(member));
        return std::move(*this);
    }
    package_builder&& disabled() &&
    {
        package_->disabled = true;
        return std::move(*this);
    }
    template <class target>
    operator std::unique_ptr<target>() &&
    {
        return std::move(package_);
    }

private:
    std::unique_ptr<record> package_;
};

inline package_builder<package_header> package(const std::string& name, version_number version,
                                               std::uint32_t build_time = 0)
{
    return {name, version, build_time};
}

inline package_builder<installed_package> installed(const std::string& name, version_number version,
                                                    std::uint32_t build_time = 0)
{
    return {name, version, build_time};
}

constexpr version_number ver(unsigned major, unsigned minor, unsigned build = 0)
{
    return make_version(major, minor, 'f', build);
}

using silent_context = captured_console;
