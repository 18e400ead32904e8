#include "settings/edit_tree_model.h"

std::string CEditTreeModel::TrimPath(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] == '>') --end;
  return path.substr(0, end);
}

bool CEditTreeModel::HasParent(const std::string& path) { return path.find('>') != std::string::npos; }

std::string CEditTreeModel::ParentPath(const std::string& path) {
  const size_t last = path.rfind('>');
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

EditTreeItem* CEditTreeModel::Find(const std::string& path) {
  auto it = byPath_.find(path);
  return it == byPath_.end() ? nullptr : it->second;
}

void CEditTreeModel::Invalidate(const EditTreeItem* record) {
  if (view_ && record->item) view_->InvalidateItem(record->item);
}

bool CEditTreeModel::SetPathItem(const std::string& path, const std::string& label, int32_t kind, int32_t state,
                                 int32_t image) {
  const std::string whole = TrimPath(path);
  EditTreeItem* parent = nullptr;
  size_t from = 0;
  for (;;) {
    const size_t separator = whole.find('>', from);
    const bool last = separator == std::string::npos;
    const std::string prefix = last ? whole : whole.substr(0, separator);
    EditTreeItem* record = Find(prefix);
    if (!record) {
      records_.emplace_back();
      EditTreeItem& created = records_.back();
      created.label = label;
      created.kind = last ? kind : kTreeGroup;
      created.state = state;
      created.image = image;
      created.path = prefix;
      void* item = view_ ? view_->InsertItem(parent ? parent->item : nullptr, &created) : &created;
      if (!item) {
        records_.pop_back();
        return false;
      }
      created.item = item;
      byPath_[prefix] = &created;
      record = &created;
    } else if (last) {
      record->label = label;
      record->kind = kind;
      record->state = state;
      record->image = image;
    }
    if (last) {
      if (record->kind == kTreeRadio) {
        SwitchRadioOn(record);
      } else {
        Invalidate(record);
      }
      return true;
    }
    parent = record;
    from = separator + 1;
  }
}

bool CEditTreeModel::GetPathItem(const std::string& path, EditTreeItem* out) const {
  auto it = byPath_.find(TrimPath(path));
  if (it == byPath_.end()) return false;
  if (out) *out = *it->second;
  return true;
}

void CEditTreeModel::Click(EditTreeItem* record) {
  if (!record) return;
  if (record->kind == kTreeRadio) {
    SwitchRadioOn(record);
  } else if (record->kind == kTreeCheck) {
    record->state = record->state == 0 ? 1 : 0;
    Invalidate(record);
  }
}

void CEditTreeModel::SwitchRadioOn(EditTreeItem* record) {
  const bool atRoot = !HasParent(record->path);
  const std::string parent = ParentPath(record->path);
  for (EditTreeItem& sibling : records_) {
    if (sibling.kind != kTreeRadio) continue;
    if (HasParent(sibling.path) == atRoot || ParentPath(sibling.path) != parent) continue;
    sibling.state = &sibling == record ? 1 : 0;
    Invalidate(&sibling);
  }
}

void CEditTreeModel::Remove(const EditTreeItem* record) {
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (&*it != record) continue;
    auto mapped = byPath_.find(it->path);
    if (mapped != byPath_.end() && mapped->second == record) byPath_.erase(mapped);
    records_.erase(it);
    return;
  }
}

EditTreeItem* CEditTreeModel::FindByItem(const void* item) {
  if (!item) return nullptr;
  for (EditTreeItem& record : records_) {
    if (record.item == item) return &record;
  }
  return nullptr;
}

bool CEditTreeModel::HasChildren(const EditTreeItem* record) const {
  for (const EditTreeItem& other : records_) {
    if (HasParent(other.path) && ParentPath(other.path) == record->path) return true;
  }
  return false;
}

TreeRect TreeRow(const TreeRect& textRect, const TreeRect& lineRect) {
  return {textRect.left, lineRect.top, lineRect.right, lineRect.bottom};
}

TreeRect TreeBox(const TreeRect& row) {
  const int h = row.bottom - row.top;
  return {row.left + 2, row.top + 2, row.left + h - 2, row.bottom - 2};
}

TreeRect TreeIcon(const TreeRect& row, int iconWidth, int iconHeight) {
  const int top = row.top + (row.bottom - row.top - iconHeight) / 2;
  return {row.left + 2, top, row.left + 2 + iconWidth, top + iconHeight};
}

TreeRect TreeLabel(const TreeRect& row) {
  const int h = row.bottom - row.top;
  return {row.left + h + 2, row.top, row.right, row.bottom};
}

bool TreeRowContains(const TreeRect& row, int x, int y) {
  return x >= row.left && x < row.right && y >= row.top && y < row.bottom;
}
