#include "host/models/gltf/gltf_compression.h"

#include <stdexcept>
#include <utility>

#if defined(VHOST_HAS_MESHOPTIMIZER)
#include <meshoptimizer.h>
#endif
#if defined(VHOST_HAS_DRACO)
#include <draco/compression/decode.h>
#include <draco/core/decoder_buffer.h>
#include <draco/mesh/mesh.h>
#endif

namespace vhost::models::gltf {

bool DecodesMeshopt() {
#if defined(VHOST_HAS_MESHOPTIMIZER)
  return true;
#else
  return false;
#endif
}

bool DecodesDraco() {
#if defined(VHOST_HAS_DRACO)
  return true;
#else
  return false;
#endif
}

std::string DecodeMeshopt(const MeshoptView& view, std::string_view compressed) {
#if defined(VHOST_HAS_MESHOPTIMIZER)
  // The decoders write count × stride bytes, which the asset's checks bound.
  std::string out(static_cast<std::size_t>(view.count * view.stride), '\0');
  auto* into = reinterpret_cast<unsigned char*>(out.data());
  const auto* from = reinterpret_cast<const unsigned char*>(compressed.data());
  const auto count = static_cast<std::size_t>(view.count);
  const auto stride = static_cast<std::size_t>(view.stride);
  int status = -1;
  if (view.mode == "ATTRIBUTES") {
    status = meshopt_decodeVertexBuffer(into, count, stride, from, compressed.size());
  } else if (view.mode == "TRIANGLES") {
    status = meshopt_decodeIndexBuffer(into, count, stride, from, compressed.size());
  } else if (view.mode == "INDICES") {
    status = meshopt_decodeIndexSequence(into, count, stride, from, compressed.size());
  }
  if (status != 0) throw std::runtime_error("its compressed data does not decode");
  if (view.filter == "OCTAHEDRAL") {
    meshopt_decodeFilterOct(into, count, stride);
  } else if (view.filter == "QUATERNION") {
    meshopt_decodeFilterQuat(into, count, stride);
  } else if (view.filter == "EXPONENTIAL") {
    meshopt_decodeFilterExp(into, count, stride);
  }
  return out;
#else
  static_cast<void>(view);
  static_cast<void>(compressed);
  throw std::runtime_error(
      "EXT_meshopt_compression is decoded by the Linux builds only (this one has no "
      "meshoptimizer)");
#endif
}

DracoMesh DecodeDraco(const DracoPrimitive& draco, std::string_view compressed) {
#if defined(VHOST_HAS_DRACO)
  draco::DecoderBuffer buffer;
  buffer.Init(compressed.data(), compressed.size());
  auto geometry = draco::Decoder::GetEncodedGeometryType(&buffer);
  if (!geometry.ok())
    throw std::runtime_error("not Draco data: " + geometry.status().error_msg_string());
  DracoMesh decoded;
  std::unique_ptr<draco::PointCloud> cloud;
  if (geometry.value() == draco::TRIANGULAR_MESH) {
    auto mesh = draco::Decoder().DecodeMeshFromBuffer(&buffer);
    if (!mesh.ok()) throw std::runtime_error(mesh.status().error_msg_string());
    const draco::Mesh& faces = *mesh.value();
    decoded.corners.reserve(static_cast<std::size_t>(faces.num_faces()) * 3);
    for (draco::FaceIndex f(0); f < faces.num_faces(); ++f) {
      for (int c = 0; c < 3; ++c) decoded.corners.push_back(faces.face(f)[c].value());
    }
    cloud = std::move(mesh).value();
  } else if (geometry.value() == draco::POINT_CLOUD) {
    auto points = draco::Decoder().DecodePointCloudFromBuffer(&buffer);
    if (!points.ok()) throw std::runtime_error(points.status().error_msg_string());
    cloud = std::move(points).value();
    decoded.pointCloud = true;
  } else {
    throw std::runtime_error("Draco data of a kind that is neither a mesh nor a point cloud");
  }
  decoded.vertices = cloud->num_points();
  for (const auto& [name, id] : draco.attributes) {
    const draco::PointAttribute* attribute =
        cloud->GetAttributeByUniqueId(static_cast<uint32_t>(id));
    if (attribute == nullptr) {
      throw std::runtime_error("its attribute " + name + " names Draco attribute " +
                               std::to_string(id) + ", which the data does not hold");
    }
    const int components = attribute->num_components();
    if (components < 1 || components > 16) {
      throw std::runtime_error("its attribute " + name + " has " + std::to_string(components) +
                               " components");
    }
    std::vector<float> values(static_cast<std::size_t>(decoded.vertices) * components);
    for (draco::PointIndex p(0); p < cloud->num_points(); ++p) {
      if (!attribute->ConvertValue<float>(
              attribute->mapped_index(p), static_cast<int8_t>(components),
              &values[static_cast<std::size_t>(p.value()) * components])) {
        throw std::runtime_error("its attribute " + name + " does not convert to numbers");
      }
    }
    decoded.attributes.push_back({name, components, std::move(values)});
  }
  return decoded;
#else
  static_cast<void>(draco);
  static_cast<void>(compressed);
  throw std::runtime_error(
      "KHR_draco_mesh_compression is decoded by the Linux builds only (this one has no "
      "Draco library)");
#endif
}

}  // namespace vhost::models::gltf
