function remove_folder(folder, return_to)
%REMOVE_FOLDER  Leaves FOLDER for RETURN_TO and deletes it with all it holds: a test's cleanup.
cd(return_to);
if exist(folder, 'dir')
    rmdir(folder, 's');
end
end
